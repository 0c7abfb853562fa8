// Corvix.dll as Outlook loads it: the four entry points, the class object,
// the Connect object's interfaces in their slots, its IDispatch for DISPIDs 1
// to 5, failures returned as HRESULTs, and every host object let go at the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_dispatch.h"
#include "host/win32/clsid.h"
#include "host/win32/dispids.h"
#include "host/win32/idtextensibility2.h"
#include "test_support.h"

namespace corvanta_test {
namespace {

using host::win32::CLSID_Connect;
using host::win32::IDTExtensibility2;
using host::win32::IID_IDTExtensibility2;

constexpr CLSID kFakeUtils = {0x2E9B5C41, 0x7A0D, 0x4C8E, {0x9D, 0x11, 0x5A, 0x60, 0x21, 0x33, 0x47, 0x13}};

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using NoArgumentsFn = HRESULT(WINAPI*)();

template <class Function>
Function Export(HMODULE module, const char* name) {
  // Through the generic function pointer type, which any function pointer converts to and from.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class CorvixDll : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string path = EnvironmentText("CORVIX_DLL");
    ASSERT_FALSE(path.empty());
    module_ = LoadLibraryA(path.c_str());
    ASSERT_TRUE(module_) << "cannot load " << path << ": " << GetLastError();
    getClassObject_ = Export<GetClassObjectFn>(module_, "DllGetClassObject");
    canUnloadNow_ = Export<NoArgumentsFn>(module_, "DllCanUnloadNow");
    ASSERT_TRUE(getClassObject_);
    ASSERT_TRUE(canUnloadNow_);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  ComPtr<IDTExtensibility2> CreateConnect() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject_(CLSID_Connect, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<IDTExtensibility2> connect;
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDTExtensibility2, connect.put_void()), S_OK);
    }
    return connect;
  }

  // Outlook's Application as far as connecting needs it: the Inspectors
  // collection and the active Explorer, each raising its events.
  struct Outlook {
    ComPtr<FakeDispatch> application = FakeDispatch::Make();
    ComPtr<FakeDispatch> inspectors = FakeDispatch::Make();
    ComPtr<FakeDispatch> explorer = FakeDispatch::Make();
    Outlook() {
      inspectors->RaisesEvents(host::win32::IID_InspectorsEvents);
      explorer->RaisesEvents(host::win32::IID_ExplorerEvents);
      IDispatch* collection = inspectors.get();
      IDispatch* window = explorer.get();
      application->Getter("Inspectors", [collection](const FakeDispatch::Call&) { return Variant::Of(collection); });
      application->Method("ActiveExplorer", [window](const FakeDispatch::Call&) { return Variant::Of(window); });
    }
  };

  HMODULE module_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  NoArgumentsFn canUnloadNow_ = nullptr;
};

TEST_F(CorvixDll, ExportsTheFourEntryPointsUndecorated) {
  for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"})
    EXPECT_TRUE(GetProcAddress(module_, name)) << name;
}

TEST_F(CorvixDll, SaysItsVersion) {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(module_, path, MAX_PATH);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length));
  EXPECT_EQ(info->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(info->dwFileVersionLS, MAKELONG(1, 0));
}

TEST_F(CorvixDll, OffersOnlyItsOwnClass) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject_(IID_IDispatch, IID_IClassFactory, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(factory);
  ASSERT_EQ(getClassObject_(CLSID_Connect, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IUnknown> object;
  ComPtr<IUnknown> outer(factory.get());
  EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, object.put_void()), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, object.put_void()), E_NOINTERFACE);
}

TEST_F(CorvixDll, CanUnloadOnlyWithoutLiveObjectsAndLocks) {
  EXPECT_EQ(canUnloadNow_(), S_OK);
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject_(CLSID_Connect, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    factory->LockServer(TRUE);
    factory.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    ComPtr<IClassFactory> again;
    getClassObject_(CLSID_Connect, IID_IClassFactory, again.put_void());
    again->LockServer(FALSE);
  }
  EXPECT_EQ(canUnloadNow_(), S_OK);
  {
    auto connect = CreateConnect();
    ASSERT_TRUE(connect);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
  }
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(CorvixDll, ConnectAnswersForItsThreeInterfacesOnly) {
  auto connect = CreateConnect();
  ASSERT_TRUE(connect);
  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  ComPtr<IUnknown> other;
  EXPECT_EQ(connect->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  EXPECT_EQ(connect->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  EXPECT_EQ(connect->QueryInterface(IID_IClassFactory, other.put_void()), E_NOINTERFACE);
  EXPECT_FALSE(other);
}

TEST_F(CorvixDll, NamesTheFiveMethodsWithTheirDispIds) {
  auto connect = CreateConnect();
  ASSERT_TRUE(connect);
  const wchar_t* names[] = {L"OnConnection", L"ondisconnection", L"OnAddInsUpdate", L"OnStartupComplete",
                            L"OnBeginShutdown"};
  for (DISPID expected = 1; expected <= 5; ++expected) {
    LPOLESTR name = const_cast<LPOLESTR>(names[expected - 1]);
    DISPID id = 0;
    EXPECT_EQ(connect->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, expected);
  }
  LPOLESTR unknown = const_cast<LPOLESTR>(L"OnSomethingElse");
  DISPID id = 0;
  EXPECT_EQ(connect->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(CorvixDll, InvokeChecksTheCallBeforeRunningIt) {
  auto connect = CreateConnect();
  ASSERT_TRUE(connect);
  VARIANT argument;
  VariantInit(&argument);
  DISPPARAMS one{&argument, nullptr, 1, 0};
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(connect->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(connect->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(connect->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &one, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(connect->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
}

// Office calls through the vtable: OnConnection is slot 7, after IUnknown's
// three and IDispatch's four, then OnDisconnection, OnAddInsUpdate,
// OnStartupComplete and OnBeginShutdown.
using OnConnectionSlot = HRESULT(STDMETHODCALLTYPE*)(void*, IDispatch*, int, IDispatch*, SAFEARRAY**);
using OnDisconnectionSlot = HRESULT(STDMETHODCALLTYPE*)(void*, int, SAFEARRAY**);
using CustomOnlySlot = HRESULT(STDMETHODCALLTYPE*)(void*, SAFEARRAY**);

template <class Slot>
Slot SlotOf(IUnknown* object, int index) {
  return reinterpret_cast<Slot>((*reinterpret_cast<void***>(object))[index]);
}

TEST_F(CorvixDll, ConnectsThroughItsSlotsAndLetsEveryHostObjectGoAtTheEnd) {
  Outlook outlook;
  FakeClass utils("Redemption.MAPIUtils", kFakeUtils, [](FakeDispatch& fake) { fake.Method("Cleanup"); });
  ULONG applicationBefore = outlook.application->References();
  ULONG inspectorsBefore = outlook.inspectors->References();
  ULONG explorerBefore = outlook.explorer->References();
  {
    auto connect = CreateConnect();
    ASSERT_TRUE(connect);
    IUnknown* raw = connect.get();
    SAFEARRAY* custom = nullptr;
    EXPECT_EQ(
        SlotOf<OnConnectionSlot>(raw, 7)(raw, outlook.application.get(), host::win32::ext_cm_Startup, nullptr, &custom),
        S_OK);
    EXPECT_EQ(outlook.inspectors->Advised(), 1);
    EXPECT_EQ(outlook.explorer->Advised(), 1);
    EXPECT_EQ(outlook.application->CallsOf("ActiveExplorer").at(0).flags, DISPATCH_METHOD);
    EXPECT_GT(outlook.application->References(), applicationBefore);

    EXPECT_EQ(SlotOf<CustomOnlySlot>(raw, 9)(raw, &custom), S_OK);   // OnAddInsUpdate: nothing
    EXPECT_EQ(SlotOf<CustomOnlySlot>(raw, 11)(raw, &custom), S_OK);  // OnBeginShutdown
    ASSERT_EQ(utils.created.size(), 1u);
    EXPECT_EQ(utils.created[0]->CallsOf("Cleanup").size(), 1u);
    EXPECT_EQ(outlook.inspectors->Advised(), 0);

    EXPECT_EQ(SlotOf<OnDisconnectionSlot>(raw, 8)(raw, host::win32::ext_dm_HostShutdown, &custom), S_OK);
    EXPECT_EQ(outlook.explorer->Advised(), 0);
    outlook.application->calls.clear();
    EXPECT_EQ(outlook.application->References(), applicationBefore);
    EXPECT_EQ(outlook.inspectors->References(), inspectorsBefore);
    EXPECT_EQ(outlook.explorer->References(), explorerBefore);
  }
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(CorvixDll, ConnectsThroughInvokeWithTheArgumentsReversed) {
  Outlook outlook;
  auto connect = CreateConnect();
  ASSERT_TRUE(connect);
  // OnConnection(Application, ConnectMode, AddInInst, custom): rgvarg[0] is custom.
  VARIANT args[4];
  for (auto& arg : args) VariantInit(&arg);
  args[3].vt = VT_DISPATCH;
  args[3].pdispVal = outlook.application.get();
  args[2].vt = VT_I4;
  args[2].lVal = host::win32::ext_cm_AfterStartup;
  args[1].vt = VT_DISPATCH;
  args[1].pdispVal = nullptr;
  args[0].vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
  SAFEARRAY* custom = nullptr;
  args[0].pparray = &custom;
  DISPPARAMS params{args, nullptr, 4, 0};
  EXPECT_EQ(connect->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(outlook.inspectors->Advised(), 1);

  // The mode in the wrong place is refused, with the argument's position.
  std::swap(args[3], args[2]);
  UINT badArgument = 99;
  EXPECT_EQ(connect->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &badArgument),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(badArgument, 3u);

  VARIANT mode;
  VariantInit(&mode);
  mode.vt = VT_I4;
  mode.lVal = host::win32::ext_dm_UserClosed;
  VARIANT both[2] = {args[0], mode};
  DISPPARAMS disconnect{both, nullptr, 2, 0};
  EXPECT_EQ(connect->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &disconnect, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(outlook.inspectors->Advised(), 0);
  EXPECT_EQ(outlook.explorer->Advised(), 0);
}

TEST_F(CorvixDll, FailuresComeBackAsHresults) {
  Outlook outlook;
  auto connect = CreateConnect();
  ASSERT_TRUE(connect);
  EXPECT_EQ(connect->OnConnection(nullptr, host::win32::ext_cm_Startup, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(connect->OnConnection(outlook.application.get(), host::win32::ext_cm_Startup, nullptr, nullptr), S_OK);
  // Without Redemption the clean-up at shutdown fails; Outlook hears of it and its objects are let go all the same.
  EXPECT_EQ(connect->OnBeginShutdown(nullptr), CO_E_CLASSSTRING);
  EXPECT_EQ(outlook.inspectors->Advised(), 0);
  EXPECT_EQ(connect->OnDisconnection(host::win32::ext_dm_HostShutdown, nullptr), S_OK);
  EXPECT_EQ(outlook.explorer->Advised(), 0);
}

}  // namespace
}  // namespace corvanta_test
