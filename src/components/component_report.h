#pragma once

// Component detection and what the component rows of the page (category 2, rows 1 to 4)
// show. The rows come back as page states; the dialog sends them.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "config/check_config.h"
#include "ui/page_state.h"
#include "usbkey/usb_devices.h"

namespace corvane {

// Fills the state word of every entry of `list` from scratch: the code (0 installed and
// current; 1/2 detected but a file is missing, older or different; 4/5 a detect rule fails;
// 2 and 5 when an installer or a download exists) and the flags kComponentDisabledFlag (a
// "clsid" rule found the add-on disabled) and kComponentKeyAbsentFlag (a "usbkey" rule found
// none of its devices). Rules are examined in order and detection stops at the first failing
// "clsid", "reg" or "file" rule. Always true.
bool DetectComponents(std::vector<CheckItem>& list);

// The identifiers a "usbkey" rule lists: numbers read as a 32-bit strtol with base 0 reads
// them (values beyond the 32-bit range saturate), separated by commas; zeros are skipped.
std::vector<UsbDeviceId> ParseUsbIdList(std::string_view text);

// The file exists and meets its `version` (high and low halves compared separately) and
// its `md5` (compared byte for byte, so an upper-case digest never matches).
bool CheckFileSpec(const FileSpec& spec);

// HKEY_CLASSES_ROOT\CLSID\<classId>\InprocServer32 names, in its default value of less than
// 260 UTF-16 units, a file that exists (the path is not expanded).
bool IsClassRegistered(std::string_view classId);

// The browser add-on's settings key (HKCU\...\Ext\Settings\<classId>) has "Flags" REG_DWORD 1.
// With reEnable a disabled add-on's settings key is deleted and the result is false.
bool IsAddOnDisabled(std::string_view classId, bool reEnable);

// The page row of an item type: 1 "SafeActiveX", 2 "SignActiveX", 3 "UkeyActiveX",
// 4 "driver"; 0 for any other type.
int RowOfType(std::string_view type);

// What entry n (1-based position in config.items) shows in its row; reads and clears
// groupUnreported (one flag per row: no entry of the row has reported a problem in this
// pass). Nothing for an n outside the list or an entry without a row.
PageStates ComponentStates(const CheckConfig& config, bool configFromServer,
                           std::array<bool, 4>& groupUnreported, std::int32_t n);
// Entry n's row shown as disabled: state 8 in its row; nothing for an entry without a row or
// an n outside the list.
PageStates DisabledComponentStates(const CheckConfig& config, std::int32_t n);

}  // namespace corvane
