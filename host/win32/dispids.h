#pragma once
// The event interfaces the add-in listens to, with the DISPIDs of their
// events. Members the add-in calls are looked up by name instead, since
// Office's own DISPIDs differ between versions.
#include "host/win32/win32_api.h"

namespace host::win32 {

// InspectorsEvents {00063079-0000-0000-C000-000000000046}
inline constexpr IID IID_InspectorsEvents = {0x00063079, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// ExplorerEvents {0006304F-0000-0000-C000-000000000046}
inline constexpr IID IID_ExplorerEvents = {0x0006304F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// ItemsEvents {00063077-0000-0000-C000-000000000046}, the events of a folder's Items
inline constexpr IID IID_ItemsEvents = {0x00063077, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// _CommandBarButtonEvents {000C0351-0000-0000-C000-000000000046}
inline constexpr IID IID_CommandBarButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

enum EventDispId : DISPID {
  kClick = 0x0001,          // _CommandBarButtonEvents: Click(Ctrl, CancelDefault)
  kNewInspector = 0xF001,   // InspectorsEvents: NewInspector(Inspector)
  kItemAdd = 0xF001,        // ItemsEvents: ItemAdd(Item)
  kExplorerClose = 0xF008,  // ExplorerEvents: Close()
};

}  // namespace host::win32
