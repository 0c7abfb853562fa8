#pragma once
// Finds an installed add-in the way Outlook does, through the registry alone:
// the Addins keys name the ProgID, the ProgID the class, the class its DLL.
#define WIN32_LEAN_AND_MEAN
#include <objbase.h>
#include <windows.h>

#include <optional>
#include <string>

namespace standin {

struct InstalledAddin {
  std::string progId;
  std::string clsid;
  std::string dll;       // InprocServer32
  bool perUser = false;  // the class is under HKCU\Software\Classes
};

// The first add-in listed to load at start-up (LoadBehavior 3), the user's
// Addins key before the machine's.
std::optional<InstalledAddin> FindInstalledAddin();

// Loads the add-in's DLL and makes its object as COM would from the class
// (DllGetClassObject, CreateInstance); null on failure, with the reason checked.
IUnknown* CreateInstalledAddin(const InstalledAddin& addin);

}  // namespace standin
