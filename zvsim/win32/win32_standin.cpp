#include "win32_standin.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>

#include "usbdevs_win_request.h"

namespace win32sim {

const GUID kRenderClass = zv_render_class;
const GUID kOtherClass = {
    0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

namespace {

const wchar_t kChannelSuffix[] = L"\\zv-16x16";

struct ClassList {
  std::vector<size_t> devices;  // indexes into the machine's device list
};

struct Handle {
  zvsim::VirtualDevice *model;  // the device whose control path it opened
};

struct State {
  std::vector<Device> devices;
  Faults faults;
  zvsim::VirtualDevice *model = nullptr;
  std::vector<Request> requests;
  std::vector<std::wstring> opened;
  std::set<ClassList *> lists;
  std::set<Handle *> handles;
  std::set<void *> blocks;
  int lists_built = 0;
};

State &state() {
  static State s;
  return s;
}

thread_local DWORD last_error = 0;

bool same_guid(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The driver's control path of an interface path: the last component replaced.
std::wstring control_path(const std::wstring &interface_path) {
  const size_t cut = interface_path.rfind(L'\\');
  return (cut == std::wstring::npos ? interface_path : interface_path.substr(0, cut)) +
         kChannelSuffix;
}

// The model behind a driver's control path; null when no present ZV-16x16 has it.
zvsim::VirtualDevice *model_of(const std::wstring &name) {
  for (const Device &d : state().devices) {
    if (!d.present || d.service != L"zv-16x16") continue;
    for (const std::wstring &p : d.interface_paths) {
      if (control_path(p) == name) return d.model != nullptr ? d.model : state().model;
    }
  }
  return nullptr;
}

BOOL fail(DWORD code) {
  last_error = code;
  return FALSE;
}

}  // namespace

void reset() {
  State &s = state();
  s.devices.clear();
  s.faults = Faults();
  s.model = nullptr;
  s.requests.clear();
  s.opened.clear();
  s.lists_built = 0;
}

void add_device(const Device &device) { state().devices.push_back(device); }

void add_zv16x16(const std::wstring &path, zvsim::VirtualDevice *model) {
  add_device({kRenderClass, true, L"zv-16x16", true, {path}, nullptr});
  connect(model);
}

void add_another_zv16x16(const std::wstring &path, zvsim::VirtualDevice *model) {
  add_device({kRenderClass, true, L"zv-16x16", true, {path}, model});
}

void connect(zvsim::VirtualDevice *model) { state().model = model; }
Faults &faults() { return state().faults; }
const std::vector<Request> &requests() { return state().requests; }
std::vector<std::wstring> &opened_paths() { return state().opened; }
int class_lists_built() { return state().lists_built; }
int open_handles() { return static_cast<int>(state().handles.size()); }
int open_class_lists() { return static_cast<int>(state().lists.size()); }
int live_blocks() { return static_cast<int>(state().blocks.size()); }

}  // namespace win32sim

using win32sim::ClassList;
using win32sim::state;

// --- SetupAPI --------------------------------------------------------------------------

HDEVINFO SetupDiGetClassDevsW(const GUID *class_guid, PCWSTR, HWND, DWORD flags) {
  auto &s = state();
  ++s.lists_built;
  if (s.faults.class_list_fails || class_guid == nullptr) {
    win32sim::last_error = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  auto *list = new ClassList;
  for (size_t i = 0; i < s.devices.size(); ++i) {
    const win32sim::Device &d = s.devices[i];
    if ((flags & DIGCF_PRESENT) && !d.present) continue;
    if (!win32sim::same_guid(d.interface_class, *class_guid)) continue;
    list->devices.push_back(i);
  }
  s.lists.insert(list);
  return list;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) {
  auto *list = static_cast<ClassList *>(set);
  if (state().lists.count(list) == 0) return win32sim::fail(ERROR_INVALID_HANDLE);
  if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return win32sim::fail(ERROR_INVALID_PARAMETER);
  }
  if (index >= list->devices.size()) return win32sim::fail(ERROR_NO_MORE_ITEMS);
  device->DevInst = static_cast<DWORD>(list->devices[index]);
  device->Reserved = index;
  return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                       PDWORD type, PBYTE buffer, DWORD size, PDWORD required) {
  if (state().lists.count(static_cast<ClassList *>(set)) == 0) {
    return win32sim::fail(ERROR_INVALID_HANDLE);
  }
  if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA) || property != SPDRP_SERVICE) {
    return win32sim::fail(ERROR_INVALID_PARAMETER);
  }
  const win32sim::Device &d = state().devices.at(device->DevInst);
  if (!d.service_readable) return win32sim::fail(ERROR_INVALID_PARAMETER);
  const DWORD bytes = static_cast<DWORD>((d.service.size() + 1) * sizeof(WCHAR));
  if (required != nullptr) *required = bytes;
  if (type != nullptr) *type = 1;  // REG_SZ
  if (buffer == nullptr || size < bytes) return win32sim::fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, d.service.c_str(), bytes);
  return TRUE;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID *class_guid,
                                 DWORD member, PSP_DEVICE_INTERFACE_DATA interface_data) {
  if (state().lists.count(static_cast<ClassList *>(set)) == 0) {
    return win32sim::fail(ERROR_INVALID_HANDLE);
  }
  if (device == nullptr || interface_data == nullptr ||
      interface_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || class_guid == nullptr) {
    return win32sim::fail(ERROR_INVALID_PARAMETER);
  }
  const win32sim::Device &d = state().devices.at(device->DevInst);
  if (!win32sim::same_guid(d.interface_class, *class_guid) || member >= d.interface_paths.size()) {
    return win32sim::fail(ERROR_NO_MORE_ITEMS);
  }
  interface_data->InterfaceClassGuid = *class_guid;
  interface_data->Flags = 1;  // SPINT_ACTIVE
  interface_data->Reserved = (ULONG_PTR(device->DevInst) << 16) | member;
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                      PDWORD required, PSP_DEVINFO_DATA) {
  auto &s = state();
  if (s.lists.count(static_cast<ClassList *>(set)) == 0)
    return win32sim::fail(ERROR_INVALID_HANDLE);
  if (interface_data == nullptr) return win32sim::fail(ERROR_INVALID_PARAMETER);
  const win32sim::Device &d = s.devices.at(interface_data->Reserved >> 16);
  const std::wstring &path = d.interface_paths.at(interface_data->Reserved & 0xFFFF);
  const DWORD bytes = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                         (path.size() + 1) * sizeof(WCHAR));
  if (detail == nullptr) {
    if (required != nullptr) *required = s.faults.detail_size_zero ? 0 : bytes;
    return win32sim::fail(ERROR_INSUFFICIENT_BUFFER);
  }
  // Windows checks the fixed part's size, not the size of the whole record.
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    return win32sim::fail(ERROR_INVALID_PARAMETER);
  }
  if (size < bytes) return win32sim::fail(ERROR_INSUFFICIENT_BUFFER);
  if (s.faults.detail_fetch_fails) return win32sim::fail(ERROR_GEN_FAILURE);
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  auto *list = static_cast<ClassList *>(set);
  if (state().lists.erase(list) == 0) return win32sim::fail(ERROR_INVALID_HANDLE);
  delete list;
  return TRUE;
}

// --- kernel32 and the fake driver -------------------------------------------------------

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD, HANDLE) {
  auto &s = state();
  s.opened.push_back(name != nullptr ? name : L"");
  const DWORD rw = GENERIC_READ | GENERIC_WRITE;
  if (name == nullptr || (access & rw) != rw || disposition != OPEN_EXISTING ||
      (share & (FILE_SHARE_READ | FILE_SHARE_WRITE)) != (FILE_SHARE_READ | FILE_SHARE_WRITE)) {
    win32sim::last_error = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  zvsim::VirtualDevice *model = win32sim::model_of(name);
  if (model == nullptr || !model->plugged()) {
    win32sim::last_error = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  auto *handle = new win32sim::Handle{model};
  s.handles.insert(handle);
  return handle;
}

BOOL CloseHandle(HANDLE handle) {
  auto *h = static_cast<win32sim::Handle *>(handle);
  if (state().handles.erase(h) == 0) return win32sim::fail(ERROR_INVALID_HANDLE);
  delete h;
  return TRUE;
}

// Decodes and checks the vendor request block, then performs the transfer on the model.
BOOL DeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                     DWORD out_size, LPDWORD returned, LPOVERLAPPED) {
  auto &s = state();
  auto *opened = static_cast<win32sim::Handle *>(handle);
  if (s.handles.count(opened) == 0) return win32sim::fail(ERROR_INVALID_HANDLE);
  zvsim::VirtualDevice *model = opened->model;
  const auto *block = static_cast<const uint8_t *>(in);
  if (block != nullptr) s.requests.push_back({{block, block + in_size}, out_size, code});
  if (s.faults.ioctl_error != 0) return win32sim::fail(s.faults.ioctl_error);
  if (code != ZV_IOCTL_VENDOR_REQUEST || block == nullptr ||
      in_size < ZV_VENDOR_REQUEST_MINIMUM_BYTES || returned == nullptr) {
    return win32sim::fail(ERROR_INVALID_PARAMETER);
  }
  usbdevs_vendor_request header;
  std::memcpy(&header, block, sizeof header);
  const uint32_t flags = header.transfer_flags, length = header.data_length;
  const uint16_t value = header.value, index = header.index;
  if (header.function != ZV_VENDOR_FUNCTION_DEVICE || header.reserved_bits != 0 ||
      flags > ZV_VENDOR_DIRECTION_IN) {
    return win32sim::fail(ERROR_INVALID_PARAMETER);
  }
  const uint8_t request = header.request;
  const uint8_t *data = block + ZV_VENDOR_REQUEST_HEADER_BYTES;
  int result = 0;
  if (flags == ZV_VENDOR_DIRECTION_OUT) {  // the data follow the header
    if (length == 0 || length > 0xFFFF || in_size < ZV_VENDOR_REQUEST_HEADER_BYTES + length)
      return win32sim::fail(ERROR_INVALID_PARAMETER);
    result = model->control_out(request, value, index, data, static_cast<uint16_t>(length));
    if (result == 0) *returned = 0;
  } else {  // device to host: into the output buffer
    if (length != 0 || out == nullptr || out_size > 0xFFFF)
      return win32sim::fail(ERROR_INVALID_PARAMETER);
    result = model->control_in(request, value, index, static_cast<uint8_t *>(out),
                               static_cast<uint16_t>(out_size));
    if (result >= 0) *returned = static_cast<DWORD>(result);
  }
  // A device that has gone is not connected; one that is there and fails the transfer stalls.
  if (result < 0) {
    return win32sim::fail(model->plugged() ? ERROR_GEN_FAILURE : ERROR_DEVICE_NOT_CONNECTED);
  }
  if (s.faults.returned_override >= 0) *returned = static_cast<DWORD>(s.faults.returned_override);
  return TRUE;
}

LPVOID VirtualAlloc(LPVOID, SIZE_T size, DWORD type, DWORD protect) {
  auto &s = state();
  if (s.faults.virtual_alloc_fails || type != MEM_COMMIT || protect != PAGE_READWRITE ||
      size == 0) {
    win32sim::last_error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  void *block = std::calloc(1, size);  // committed pages arrive zero-filled
  s.blocks.insert(block);
  return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  if (type != MEM_RELEASE || size != 0 || state().blocks.erase(address) == 0) {
    return win32sim::fail(ERROR_INVALID_PARAMETER);
  }
  std::free(address);
  return TRUE;
}

DWORD GetLastError() { return win32sim::last_error; }
void SetLastError(DWORD code) { win32sim::last_error = code; }

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD message, DWORD, LPWSTR buffer, DWORD, void *) {
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0 || buffer == nullptr) return 0;
  const wchar_t *text = L"The operation failed.\r\n";
  if (message == ERROR_FILE_NOT_FOUND) text = L"The system cannot find the file specified.\r\n";
  if (message == ERROR_GEN_FAILURE)
    text = L"A device attached to the system is not functioning.\r\n";
  if (message == ERROR_DEVICE_NOT_CONNECTED) text = L"The device is not connected.\r\n";
  if (message == ERROR_SEM_TIMEOUT) text = L"The semaphore timeout period has expired.\r\n";
  const size_t units = std::wcslen(text) + 1;
  auto *copy = static_cast<wchar_t *>(std::malloc(units * sizeof(wchar_t)));
  std::wmemcpy(copy, text, units);
  *reinterpret_cast<LPWSTR *>(buffer) = copy;
  return static_cast<DWORD>(units - 1);
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

errno_t wcscpy_s(wchar_t *dst, size_t capacity, const wchar_t *src) {
  if (dst == nullptr || capacity == 0) return EINVAL;
  if (src == nullptr || std::wcslen(src) >= capacity) {
    dst[0] = L'\0';
    return src == nullptr ? EINVAL : ERANGE;
  }
  std::wcscpy(dst, src);
  return 0;
}

errno_t wcscat_s(wchar_t *dst, size_t capacity, const wchar_t *src) {
  if (dst == nullptr || capacity == 0) return EINVAL;
  const size_t used = wcsnlen(dst, capacity);
  if (src == nullptr || used == capacity || used + std::wcslen(src) >= capacity) {
    dst[0] = L'\0';
    return src == nullptr ? EINVAL : ERANGE;
  }
  std::wcscat(dst, src);
  return 0;
}
