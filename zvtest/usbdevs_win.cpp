// The Windows transport: finds the ZV-16x16 among the render-class device interfaces by its
// driver service name, and carries each vendor control transfer as one request to the
// interface's own driver. No handle is kept between transfers: every transfer opens the
// driver's control path, sends one request block and closes it again.
//
// The driver bounds each request by its own time-out; this layer sets none. What the
// transport does remember is a driver's word that the device has gone or did not answer:
// from then on every transfer on that record fails at once, until usbdevs_open finds the
// device again, rather than wait out the driver's time-out once for each of the protocol's
// polls (a thousand of them in one idle wait).
#include <windows.h>
// SetupAPI needs the types of windows.h first.
#include <setupapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "usbdevs.h"
#include "usbdevs_win.h"
#include "usbdevs_win_request.h"
#include "zvdiag.h"

namespace {

const char kSource[] = "zvtest\\usbdevs_win.cpp";

// A device that does not exist was named; mingw-w64's headers lack the constant.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

const wchar_t kServiceName[] = L"zv-16x16";
const wchar_t kChannelSuffix[] = L"\\zv-16x16";  // replaces the interface's reference string

const DWORD kEnumerationFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 0x12
const DWORD kServiceBufferBytes = 256;
const DWORD kServiceReadBytes = 254;  // two bytes short, so the text stays terminated

const DWORD kHeaderBytes = ZV_VENDOR_REQUEST_HEADER_BYTES;
const DWORD kMinimumBlock = ZV_VENDOR_REQUEST_MINIMUM_BYTES;

// The record whose device the driver reported gone or silent; null while none is. One per
// process: usbdevs.h lets a transport keep state for the record the program drives.
const usbdevs_device *lost_record = nullptr;

enum class Loss { kNone, kGone, kSilent };

// What a failed open or request says of the device. A stall (ERROR_GEN_FAILURE) and every
// other error are passing ones: the protocol's own retries deal with them.
Loss loss_of(DWORD code) {
  switch (code) {
    case ERROR_SEM_TIMEOUT:  // STATUS_IO_TIMEOUT: the driver waited and nothing answered
    case ERROR_TIMEOUT:
      return Loss::kSilent;
    case ERROR_FILE_NOT_FOUND:  // the control path went with the interface, or a handle held
    case ERROR_PATH_NOT_FOUND:  // across an unplug (STATUS_NO_SUCH_DEVICE)
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NO_SUCH_DEVICE:
      return Loss::kGone;
    default:
      return Loss::kNone;
  }
}

// After a failed transfer on an opened record: remembers a device that has gone or stopped
// answering, with one line that says so.
void judge_failure(const usbdevs_device *dev, DWORD code) {
  const Loss loss = loss_of(code);
  if (loss == Loss::kNone || dev->transport.interface_path[0] == L'\0') return;
  lost_record = dev;
  std::printf("the ZV-16x16 %s; transfers fail until it is opened again\n",
              loss == Loss::kGone ? "is gone" : "does not answer");
}

// "ERROR : <line>" in wide characters. C streams elsewhere cannot mix wide and narrow output
// on one stream, so off Windows the same text goes out narrow.
void print_wide_error(int line) {
#ifdef _WIN32
  std::wprintf(L"ERROR : %d\n", line);
#else
  std::printf("ERROR : %d\n", line);
#endif
}

}  // namespace

// A system error, with the system's text for it. It is the thread's last error afterwards,
// for the caller to judge.
void usbdevs_print_error(DWORD code) {
  std::printf("%s:%d:", kSource, __LINE__);
  std::printf("GetLastError() = %#x\n", static_cast<unsigned>(code));
  LPWSTR text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x0400, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (text != nullptr) {
    std::printf("%ls", text);
    LocalFree(text);
  }
  SetLastError(code);
}

namespace {

// The place that usbdevs_choose named; empty: the last interface enumerated.
wchar_t chosen[USBDEVS_PATH_UNITS];

// Called with each matching interface's path, in enumeration order.
using Visit = void (*)(const wchar_t *path, void *context);

// Walks every render-class interface of every present device whose driver service is
// `service`, skipping what cannot be read, with a line for each failure.
void for_each_interface(const wchar_t *service, Visit visit, void *context) {
  HDEVINFO set = SetupDiGetClassDevsW(&zv_render_class, nullptr, nullptr, kEnumerationFlags);
  if (set == INVALID_HANDLE_VALUE) {
    print_wide_error(__LINE__);
    return;
  }
  SP_DEVINFO_DATA device;
  std::memset(&device, 0, sizeof device);
  device.cbSize = sizeof device;
  for (DWORD device_index = 0; SetupDiEnumDeviceInfo(set, device_index, &device); ++device_index) {
    BYTE name[kServiceBufferBytes];
    std::memset(name, 0, sizeof name);
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_SERVICE, nullptr, name,
                                           kServiceReadBytes, nullptr)) {
      print_wide_error(__LINE__);
    }
    const bool matches =
        service != nullptr && std::wcscmp(reinterpret_cast<const wchar_t *>(name), service) == 0;

    SP_DEVICE_INTERFACE_DATA interface_data;
    std::memset(&interface_data, 0, sizeof interface_data);
    interface_data.cbSize = sizeof interface_data;
    for (DWORD member = 0;
         SetupDiEnumDeviceInterfaces(set, &device, &zv_render_class, member, &interface_data);
         ++member) {
      DWORD required = 0;
      SetupDiGetDeviceInterfaceDetailW(set, &interface_data, nullptr, 0, &required, nullptr);
      if (required == 0) {
        print_wide_error(__LINE__);
        continue;
      }
      auto *detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(std::malloc(required));
      if (detail == nullptr) {
        print_wide_error(__LINE__);
        continue;
      }
      std::memset(detail, 0, required);
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);  // the fixed part only
      if (!SetupDiGetDeviceInterfaceDetailW(set, &interface_data, detail, required, nullptr,
                                            nullptr)) {
        print_wide_error(__LINE__);
        std::free(detail);
        continue;
      }
      if (matches) {
        visit(detail->DevicePath, context);
      }
      std::free(detail);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
}

struct Destination {
  wchar_t *dst;
  unsigned capacity;
  errno_t *copy_status;
  int copied;
};

void copy_path(const wchar_t *path, void *context) {
  auto *to = static_cast<Destination *>(context);
  if (chosen[0] != L'\0' && std::wcscmp(path, chosen) != 0) return;
  if (to->dst == nullptr) {
    to->copied = 1;
    return;
  }
  // A path that does not fit is not cut into another path: the interface is skipped.
  if (std::wcslen(path) >= to->capacity) {
    print_wide_error(__LINE__);
    return;
  }
  to->copied = 1;
  std::memset(to->dst, 0, to->capacity * sizeof(wchar_t));
  const errno_t status = wcscpy_s(to->dst, to->capacity, path);
  if (to->copy_status != nullptr) *to->copy_status = status;
}

struct Listing {
  usbdevs_place *places;
  int capacity;
  int listed;
};

// "\\?\usb#vid_XXXX&pid_YYYY#<instance>#{class}\<reference>": the instance part names the
// device among its kind; it is the USB serial string where the device has one (Windows then
// uses the serial, which holds no '&'), a port-derived id otherwise.
void add_place(const wchar_t *path, void *context) {
  auto *listing = static_cast<Listing *>(context);
  if (listing->listed >= listing->capacity || std::wcslen(path) >= USBDEVS_PATH_UNITS) return;
  usbdevs_place &place = listing->places[listing->listed++];
  std::memset(&place, 0, sizeof place);
  wcscpy_s(place.path, USBDEVS_PATH_UNITS, path);
  const wchar_t *first = std::wcschr(path, L'#');
  const wchar_t *instance = first != nullptr ? std::wcschr(first + 1, L'#') : nullptr;
  const wchar_t *end = instance != nullptr ? std::wcschr(instance + 1, L'#') : nullptr;
  const size_t length = end != nullptr ? static_cast<size_t>(end - instance - 1) : 0;
  if (length == 0 || length >= USBDEVS_NAME_UNITS) {
    // No instance part to show: the whole path, as far as it fits.
    std::wcsncpy(place.name, path, USBDEVS_NAME_UNITS - 1);
    return;
  }
  std::wcsncpy(place.name, instance + 1, length);
  if (std::wcschr(place.name, L'&') == nullptr) std::wcsncpy(place.serial, place.name, length);
}

}  // namespace

// 1 when an interface of a device whose driver service is `service` was found (the one that
// usbdevs_choose named, when it named one). Every match overwrites `dst`, so the last
// matching interface wins.
int usbdevs_find_interface(const wchar_t *service, wchar_t *dst, unsigned capacity,
                           errno_t *copy_status) {
  Destination to{dst, capacity, copy_status, 0};
  for_each_interface(service, copy_path, &to);
  return to.copied;
}

int usbdevs_list(usbdevs_place *places, int capacity) {
  Listing listing{places, capacity, 0};
  if (places != nullptr && capacity > 0) for_each_interface(kServiceName, add_place, &listing);
  return listing.listed;
}

// No arrivals are told here: the caller looks again.
int usbdevs_wait_arrival(unsigned, unsigned *waited_ms) {
  *waited_ms = 0;
  return -1;
}

int usbdevs_choose(const wchar_t *path) {
  std::memset(chosen, 0, sizeof chosen);
  if (path != nullptr && std::wcslen(path) < USBDEVS_PATH_UNITS) {
    wcscpy_s(chosen, USBDEVS_PATH_UNITS, path);
  } else if (path != nullptr) {
    chosen[0] = L'?';  // a place that no interface has: nothing is found
  }
  return 0;
}

// Opens the driver's control path: the interface path with its last component replaced.
HANDLE usbdevs_open_channel(const wchar_t *interface_path) {
  wchar_t path[USBDEVS_PATH_UNITS];
  const size_t length = std::wcslen(interface_path);
  const wchar_t *cut = std::wcsrchr(interface_path, L'\\');
  const size_t kept = cut != nullptr ? static_cast<size_t>(cut - interface_path) : length;
  const size_t suffix = sizeof kChannelSuffix / sizeof kChannelSuffix[0] - 1;
  if (length >= USBDEVS_PATH_UNITS || kept + suffix >= USBDEVS_PATH_UNITS) {
    // Too long for the control path: refused rather than cut into a different path.
    print_wide_error(__LINE__);
    return INVALID_HANDLE_VALUE;
  }
  wcscpy_s(path, USBDEVS_PATH_UNITS, interface_path);
  path[kept] = L'\0';
  wcscat_s(path, USBDEVS_PATH_UNITS, kChannelSuffix);
  HANDLE handle =
      CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    usbdevs_print_error(code);
    print_wide_error(__LINE__);
    SetLastError(code);
  }
  return handle;
}

// One request to the driver. For an out transfer the output size is 0, so the driver must
// report 0 bytes; an in transfer must get exactly the bytes asked for.
int usbdevs_ioctl(HANDLE handle, void *in, DWORD in_size, void *out, DWORD out_size) {
  DWORD returned = 0;
  if (!DeviceIoControl(handle, ZV_IOCTL_VENDOR_REQUEST, in, in_size, out, out_size, &returned,
                       nullptr)) {
    const DWORD code = GetLastError();
    ZV_DIAG(kSource);
    usbdevs_print_error(code);
    return 1;
  }
  if (returned != out_size) {
    ZV_DIAG(kSource);
    SetLastError(ERROR_SUCCESS);  // the driver answered: nothing to say of the device
    return 1;
  }
  return 0;
}

int usbdevs_init(usbdevs_device *dev) {
  if (lost_record == dev) lost_record = nullptr;
  std::memset(&dev->transport, 0, sizeof dev->transport);
  return 0;
}

int usbdevs_close(usbdevs_device *) { return 0; }

int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index) {
  if (index != 0) return 1;
  if (!usbdevs_find_interface(kServiceName, dev->transport.interface_path, USBDEVS_PATH_UNITS,
                              nullptr)) {
    return 1;
  }
  if (lost_record == dev) lost_record = nullptr;
  if (out != nullptr) *out = dev;
  return 0;
}

// The driver's control path is open to every user: an interface that is found can be used.
int usbdevs_access_denied() { return 0; }

int usbdevs_vendor_out(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                       uint16_t length, const uint8_t *data) {
  if (length == 0 || data == nullptr) {
    ZV_DIAG(kSource);
    return 1;
  }
  if (dev == lost_record) {
    ZV_DIAG(kSource);
    return 1;
  }
  HANDLE handle = usbdevs_open_channel(dev->transport.interface_path);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    ZV_DIAG(kSource);
    judge_failure(dev, code);
    return 1;
  }
  DWORD size = kHeaderBytes + length;
  if (size < kMinimumBlock) size = kMinimumBlock;
  auto *block = static_cast<uint8_t *>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (block == nullptr) {
    ZV_DIAG(kSource);
    CloseHandle(handle);
    return 1;
  }
  std::memset(block, 0, size);
  usbdevs_vendor_request header{};
  header.transfer_flags = 0;
  header.data_length = length;
  header.function = ZV_VENDOR_FUNCTION_DEVICE;
  header.value = value;
  header.index = index;
  header.reserved_bits = 0;
  header.request = request;
  std::memcpy(block, &header, kHeaderBytes);
  std::memcpy(block + kHeaderBytes, data, length);
  const int result = usbdevs_ioctl(handle, block, size, nullptr, 0);
  const DWORD code = GetLastError();
  VirtualFree(block, 0, MEM_RELEASE);
  CloseHandle(handle);
  if (result != 0) judge_failure(dev, code);
  return result;
}

int usbdevs_vendor_in(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length, uint8_t *data) {
  if (dev == lost_record) {
    ZV_DIAG(kSource);
    return 1;
  }
  HANDLE handle = usbdevs_open_channel(dev->transport.interface_path);
  if (handle == INVALID_HANDLE_VALUE) {
    judge_failure(dev, GetLastError());
    return 1;
  }
  usbdevs_vendor_request block{};
  block.transfer_flags = ZV_VENDOR_DIRECTION_IN;
  block.data_length = 0;
  block.function = ZV_VENDOR_FUNCTION_DEVICE;
  block.value = value;
  block.index = index;
  block.reserved_bits = 0;
  block.request = request;
  const int result = usbdevs_ioctl(handle, &block, sizeof block, data, length);
  const DWORD code = GetLastError();
  CloseHandle(handle);
  if (result != 0) judge_failure(dev, code);
  return result;
}
