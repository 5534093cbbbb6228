// Scripting the Win32 stand-in: the devices that SetupAPI reports and the interface's fake
// driver, which opens by control path, checks every vendor request block and hands the
// transfer to a virtual ZV-16x16.
#ifndef ZVSIM_WIN32_WIN32_STANDIN_H
#define ZVSIM_WIN32_WIN32_STANDIN_H

#include <cstdint>
#include <string>
#include <vector>

#include "setupapi.h"
#include "virtual_device.h"

namespace win32sim {

extern const GUID kRenderClass;  // KSCATEGORY_RENDER
extern const GUID kOtherClass;   // any other interface class

struct Device {
  GUID interface_class;
  bool present;
  std::wstring service;   // the SPDRP_SERVICE property
  bool service_readable;  // false: reading the property fails
  std::vector<std::wstring> interface_paths;
  zvsim::VirtualDevice *model = nullptr;  // what its control paths reach; null: connect()'s
};

// What can go wrong on the Windows side.
struct Faults {
  bool class_list_fails = false;  // SetupDiGetClassDevsW returns INVALID_HANDLE_VALUE
  bool detail_size_zero = false;  // the size query reports 0
  bool detail_fetch_fails = false;
  bool virtual_alloc_fails = false;
  DWORD ioctl_error = 0;        // when set, DeviceIoControl fails with this last error
  long returned_override = -1;  // the byte count the driver reports, when >= 0
};

// One request as the fake driver received it.
struct Request {
  std::vector<uint8_t> block;  // the input block, as passed
  DWORD out_size;
  DWORD code;  // the control code
};

// Back to an empty machine: no devices, no faults, no driver device, counters at 0.
void reset();
void add_device(const Device &device);
// A ZV-16x16 with one render interface at `path`, handled by `model`, which also becomes
// the model of devices added without one.
void add_zv16x16(const std::wstring &path, zvsim::VirtualDevice *model);
// One more ZV-16x16 beside those there, at `path`, whose control path reaches `model` alone.
void add_another_zv16x16(const std::wstring &path, zvsim::VirtualDevice *model);
// The device model that the driver's control paths lead to (null: nothing answers).
void connect(zvsim::VirtualDevice *model);

Faults &faults();
const std::vector<Request> &requests();
std::vector<std::wstring> &opened_paths();  // every CreateFileW name, in order
int class_lists_built();                    // SetupDiGetClassDevsW calls
int open_handles();                         // driver handles not yet closed
int open_class_lists();                     // device information lists not yet destroyed
int live_blocks();                          // VirtualAlloc blocks not yet freed

}  // namespace win32sim

#endif
