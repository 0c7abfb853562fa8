#pragma once
// Late binding: every member of Outlook, Office and Redemption is looked up by
// name (GetIDsOfNames) and called through IDispatch::Invoke. Methods go with
// DISPATCH_METHOD, property reads with DISPATCH_PROPERTYGET, writes with
// DISPATCH_PROPERTYPUT and the named argument DISPID_PROPERTYPUT. A failure,
// an unknown name included, throws host::Error with the HRESULT and the
// object's own error text.
#include <cstdint>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/win32/com.h"

namespace host::win32 {

// Arguments are given in their declared order; Variant::Missing() leaves an
// optional one out.
using Args = std::vector<Variant>;

Variant Invoke(IDispatch& object, const std::string& member, WORD flags, const Args& args = {});
Variant Call(IDispatch& object, const std::string& member, const Args& args = {});
Variant Get(IDispatch& object, const std::string& member, const Args& args = {});
// Collections declare Item as a method or as an indexed property; both are asked for, as Basic does.
Variant GetItem(IDispatch& object, const Args& args);
void Put(IDispatch& object, const std::string& member, const Variant& value);

// Conversions of results; each throws host::Error when the value cannot be converted.
std::string ToString(const VARIANT& value);  // empty, null and error values read as empty
std::int32_t ToInt(const VARIANT& value);
bool ToBool(const VARIANT& value);
ComPtr<IDispatch> ToObject(const VARIANT& value);  // Nothing reads as empty

// A host object of this platform: the Outlook, Office or Redemption object it stands for.
class LateBound {
 public:
  explicit LateBound(ComPtr<IDispatch> object);
  virtual ~LateBound() = default;
  IDispatch& Object() const { return *object_; }

 protected:
  Variant CallMember(const std::string& member, const Args& args = {}) const { return Call(*object_, member, args); }
  Variant GetMember(const std::string& member, const Args& args = {}) const { return Get(*object_, member, args); }
  void PutMember(const std::string& member, const Variant& value) const { Put(*object_, member, value); }
  std::string GetString(const std::string& member) const { return ToString(GetMember(member).get()); }
  std::int32_t GetInt(const std::string& member) const { return ToInt(GetMember(member).get()); }
  bool GetBool(const std::string& member) const { return ToBool(GetMember(member).get()); }

 private:
  ComPtr<IDispatch> object_;
};

// The COM object behind a host object that this platform made; throws for any other.
template <class HostObject>
IDispatch& ObjectOf(HostObject& hostObject) {
  auto* bound = dynamic_cast<LateBound*>(&hostObject);
  if (!bound) throw Error(E_INVALIDARG, "the object does not come from Outlook");
  return bound->Object();
}

}  // namespace host::win32
