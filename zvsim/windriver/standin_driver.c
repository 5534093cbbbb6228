/* zv16x16-standin.sys: a stand-in for the ZV-16x16's kernel driver, for Wine.
 *
 * A root-enumerated Plug and Play function driver whose service is "zv-16x16". It registers
 * one KSCATEGORY_RENDER device interface (reference string "render") and serves the
 * interface's control path, the interface path with its last component replaced by
 * "\zv-16x16", as the interface's own driver does: its vendor request (usbdevs_win_request.h)
 * performs one vendor control transfer, here on the device model in zv16x16-standin-model.dll.
 * A block that is not as the updater builds it fails and is counted. When the model unplugs
 * itself the interface goes away, so that the next open fails as on Windows; a system thread
 * brings it back after the replug delay.
 *
 * A second name, \\.\ZV16x16StandIn, stays while the driver runs: the host reads the device's
 * state there when the program under test has ended.
 */
#include <ddk/wdm.h>

#include "standin_ioctl.h"
#include "standin_model.h"
#include "usbdevs_win_request.h"

/* ntifs.h, which declares it, does not build beside wdm.h. */
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable,
                                              PLARGE_INTEGER timeout);

#define PATH_UNITS 300

static const WCHAR control_device_name[] = L"\\Device\\ZV16x16StandIn";
static const WCHAR control_link_name[] = L"\\DosDevices\\ZV16x16StandIn";
static const WCHAR channel_component[] = L"zv-16x16";
static const WCHAR reference_string[] = L"render";
static const WCHAR device_classes_key[] =
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\";

/* One device per stand-in: its objects and names are the driver's state. */
static DEVICE_OBJECT *fdo, *lower, *pdo, *control;
static UNICODE_STRING interface_link;  /* \??\ROOT#zv-16x16#0000#{guid}\render */
static WCHAR channel_link[PATH_UNITS]; /* \??\ROOT#zv-16x16#0000#{guid}\zv-16x16 */
static HANDLE interface_directory;     /* \??\ROOT#zv-16x16#0000#{guid}, Wine's route only */
static BOOLEAN interface_enabled, links_made_here;
static KMUTEX presence_lock; /* interface_enabled and the links follow the model together */
static LONG refused_blocks;
/* The thread that plugs the device in again after the replug delay, while there is one, and
 * the event that a removal sets to end its wait early. The removal waits for the thread, so
 * that the thread never uses what the removal frees. */
static HANDLE replug_thread;
static KEVENT removing;

/* A bounded wide string that says when something did not fit. */
struct path {
  WCHAR text[PATH_UNITS];
  SIZE_T length;
  BOOLEAN overflow;
};

static SIZE_T wide_length(const WCHAR *s) {
  SIZE_T n = 0;
  while (s[n]) n++;
  return n;
}

static void append(struct path *p, const WCHAR *s, SIZE_T n) {
  SIZE_T i;
  if (p->length + n >= PATH_UNITS) {
    p->overflow = TRUE;
    return;
  }
  for (i = 0; i < n; i++) p->text[p->length++] = s[i];
  p->text[p->length] = 0;
}

static void append_text(struct path *p, const WCHAR *s) { append(p, s, wide_length(s)); }

/* Units of the interface link before its last backslash. */
static SIZE_T interface_base_units(void) {
  SIZE_T cut = interface_link.Length / sizeof(WCHAR);
  while (cut > 0 && interface_link.Buffer[cut - 1] != '\\') cut--;
  return cut > 0 ? cut - 1 : 0;
}

static NTSTATUS complete(IRP *irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* A block that is not as the updater builds it. */
static NTSTATUS refused(void) {
  InterlockedIncrement(&refused_blocks);
  return STATUS_INVALID_PARAMETER;
}

static NTSTATUS make_link(const WCHAR *link, const WCHAR *target) {
  UNICODE_STRING l, t;
  RtlInitUnicodeString(&l, link);
  RtlInitUnicodeString(&t, target);
  return IoCreateSymbolicLink(&l, &t);
}

static void delete_link(const WCHAR *link) {
  UNICODE_STRING l;
  RtlInitUnicodeString(&l, link);
  IoDeleteSymbolicLink(&l);
}

/* Linked=value in DeviceClasses\{guid}\##?#<base>\#<reference>\Control, which is what
 * SetupAPI's DIGCF_PRESENT reads. */
static NTSTATUS set_linked(ULONG value) {
  struct path key = {{0}, 0, FALSE};
  const SIZE_T base = interface_base_units(), guid_units = 38;
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  HANDLE interface_key, control_key;
  NTSTATUS status;

  if (base < 4 + guid_units) return STATUS_OBJECT_NAME_INVALID;
  append_text(&key, device_classes_key);
  append(&key, interface_link.Buffer + base - guid_units, guid_units);
  append_text(&key, L"\\##?#");
  append(&key, interface_link.Buffer + 4, base - 4); /* without "\??\" */
  append_text(&key, L"\\#");
  append_text(&key, reference_string);
  if (key.overflow) return STATUS_NAME_TOO_LONG;

  RtlInitUnicodeString(&name, key.text);
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  status = ZwOpenKey(&interface_key, KEY_ALL_ACCESS, &attributes);
  if (!NT_SUCCESS(status)) return status;
  RtlInitUnicodeString(&name, L"Control");
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             interface_key, NULL);
  status =
      ZwCreateKey(&control_key, KEY_ALL_ACCESS, &attributes, 0, NULL, REG_OPTION_VOLATILE, NULL);
  ZwClose(interface_key);
  if (!NT_SUCCESS(status)) return status;
  RtlInitUnicodeString(&name, L"Linked");
  status = ZwSetValueKey(control_key, &name, 0, REG_DWORD, &value, sizeof value);
  ZwClose(control_key);
  return status;
}

/* Wine 8 cannot enable an interface that has a reference string: IoSetDeviceInterfaceState
 * opens "...\#\render" where SetupAPI made "...\#render", and the link it would make,
 * "\??\<base>\render", has no directory "\??\<base>" to live in. Nor can a path below a
 * device object be opened there, so the channel cannot be the function device opened with
 * the file name "\zv-16x16". Where that call fails, the driver makes what Windows would:
 * the directory, the interface's link to the PDO, the channel's link to the control device,
 * and the Linked value. */
static NTSTATUS make_links_here(void) {
  struct path directory = {{0}, 0, FALSE}, interface_path = {{0}, 0, FALSE};
  WCHAR pdo_name[128];
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  ULONG length = 0;
  NTSTATUS status;

  append(&directory, interface_link.Buffer, interface_base_units());
  append(&interface_path, interface_link.Buffer, interface_link.Length / sizeof(WCHAR));
  if (directory.overflow || interface_path.overflow) return STATUS_NAME_TOO_LONG;
  if (!interface_directory) {
    RtlInitUnicodeString(&name, directory.text);
    InitializeObjectAttributes(&attributes, &name,
                               OBJ_CASE_INSENSITIVE | OBJ_OPENIF | OBJ_KERNEL_HANDLE, NULL, NULL);
    status = ZwCreateDirectoryObject(&interface_directory, DIRECTORY_ALL_ACCESS, &attributes);
    if (!NT_SUCCESS(status)) return status;
  }
  status = IoGetDeviceProperty(pdo, DevicePropertyPhysicalDeviceObjectName, sizeof pdo_name,
                               pdo_name, &length);
  if (!NT_SUCCESS(status)) return status;
  status = make_link(interface_path.text, pdo_name);
  if (NT_SUCCESS(status)) status = make_link(channel_link, control_device_name);
  if (NT_SUCCESS(status)) status = set_linked(1);
  return status;
}

static void remove_links_made_here(void) {
  set_linked(0);
  delete_link(channel_link);
  IoDeleteSymbolicLink(&interface_link);
}

/* Plugged in, as far as programs can see: the interface is listed and its channel opens. */
static NTSTATUS enable_interface(void) {
  NTSTATUS status = STATUS_SUCCESS;
  KeWaitForSingleObject(&presence_lock, Executive, KernelMode, FALSE, NULL);
  if (!interface_enabled) {
    status = IoSetDeviceInterfaceState(&interface_link, TRUE);
    links_made_here = !NT_SUCCESS(status);
    if (links_made_here) status = make_links_here();
    if (NT_SUCCESS(status))
      interface_enabled = TRUE;
    else
      DbgPrint("zv16x16-standin: the interface cannot be enabled: %#lx\n", status);
  }
  KeReleaseMutex(&presence_lock, FALSE);
  return status;
}

/* TRUE when this call took the interface away. */
static BOOLEAN disable_interface(void) {
  BOOLEAN disabled;
  KeWaitForSingleObject(&presence_lock, Executive, KernelMode, FALSE, NULL);
  disabled = interface_enabled;
  if (interface_enabled) {
    if (links_made_here)
      remove_links_made_here();
    else
      IoSetDeviceInterfaceState(&interface_link, FALSE);
    interface_enabled = FALSE;
  }
  KeReleaseMutex(&presence_lock, FALSE);
  return disabled;
}

static void WINAPI replug_later(void *context) {
  LARGE_INTEGER delay;
  (void)context;
  delay.QuadPart = -10000LL * standin_model_replug_after_ms(); /* relative, 100 ns units */
  if (KeWaitForSingleObject(&removing, Executive, KernelMode, FALSE, &delay) == STATUS_TIMEOUT) {
    standin_model_replug();
    enable_interface();
  }
  PsTerminateSystemThread(STATUS_SUCCESS);
}

/* Waits for the replug thread, if there is one, and lets go of it. */
static void join_replug_thread(void) {
  if (!replug_thread) return;
  ZwWaitForSingleObject(replug_thread, FALSE, NULL);
  ZwClose(replug_thread);
  replug_thread = NULL;
}

/* After every transfer: a model that has unplugged itself takes the interface with it. */
static void follow_the_model(void) {
  OBJECT_ATTRIBUTES attributes;
  if (standin_model_plugged() || !disable_interface()) return;
  if (standin_model_replug_after_ms() < 0) return;
  join_replug_thread(); /* an earlier replug has long ended: the device was plugged in */
  InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
  if (!NT_SUCCESS(PsCreateSystemThread(&replug_thread, THREAD_ALL_ACCESS, &attributes, NULL, NULL,
                                       replug_later, NULL))) {
    replug_thread = NULL;
  }
}

static NTSTATUS transfer_status(int result) {
  if (result == ZV_STANDIN_SILENT) return STATUS_IO_TIMEOUT;
  return result < 0 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS;
}

static BOOLEAN all_zero(const UCHAR *p, ULONG n) {
  ULONG i;
  for (i = 0; i < n; i++)
    if (p[i]) return FALSE;
  return TRUE;
}

/* The vendor request block (usbdevs_win_request.h): the header, then the data going out (at
 * least 20 bytes in all, padded with zeros) or four zero bytes for a request coming in. The
 * reply goes into the same system buffer (METHOD_BUFFERED): exactly the bytes the device gave
 * for an in request, none for an out. */
static NTSTATUS vendor_request(UCHAR *block, ULONG in_size, ULONG out_size, ULONG_PTR *returned) {
  usbdevs_vendor_request header;
  UCHAR *data = block + ZV_VENDOR_REQUEST_HEADER_BYTES;
  ULONG expected_size;
  int result;

  if (!block || in_size < ZV_VENDOR_REQUEST_MINIMUM_BYTES) return refused();
  RtlCopyMemory(&header, block, sizeof header); /* the reply overwrites the block */
  if (header.function != ZV_VENDOR_FUNCTION_DEVICE || header.reserved_bits != 0) return refused();
  if (!standin_model_plugged()) return STATUS_NO_SUCH_DEVICE; /* a handle held open */
  if (header.transfer_flags == ZV_VENDOR_DIRECTION_IN) {
    if (header.data_length != 0 || in_size != ZV_VENDOR_REQUEST_MINIMUM_BYTES ||
        out_size > 0xffff || !all_zero(data, sizeof header.data)) {
      return refused();
    }
    result = standin_model_transfer(1, header.request, header.value, header.index, block,
                                    (USHORT)out_size);
  } else if (header.transfer_flags == ZV_VENDOR_DIRECTION_OUT) {
    expected_size = ZV_VENDOR_REQUEST_HEADER_BYTES + header.data_length;
    if (expected_size < ZV_VENDOR_REQUEST_MINIMUM_BYTES)
      expected_size = ZV_VENDOR_REQUEST_MINIMUM_BYTES;
    if (header.data_length == 0 || header.data_length > 0xffff || in_size != expected_size ||
        out_size != 0 ||
        !all_zero(data + header.data_length,
                  in_size - ZV_VENDOR_REQUEST_HEADER_BYTES - header.data_length)) {
      return refused();
    }
    result = standin_model_transfer(0, header.request, header.value, header.index, data,
                                    (USHORT)header.data_length);
  } else {
    return refused();
  }
  follow_the_model();
  if (header.transfer_flags == ZV_VENDOR_DIRECTION_IN && result > 0) *returned = (ULONG_PTR)result;
  return transfer_status(result);
}

static NTSTATUS state_request(UCHAR *buffer, ULONG out_size, ULONG_PTR *returned) {
  unsigned written;
  if (!buffer || out_size < sizeof(ULONG)) return STATUS_BUFFER_TOO_SMALL;
  *(ULONG *)buffer = (ULONG)refused_blocks;
  written = standin_model_state(buffer + sizeof(ULONG), out_size - (ULONG)sizeof(ULONG));
  if (!written) return STATUS_BUFFER_TOO_SMALL;
  *returned = sizeof(ULONG) + written;
  return STATUS_SUCCESS;
}

static NTSTATUS WINAPI dispatch_device_control(DEVICE_OBJECT *device, IRP *irp) {
  IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR *buffer = irp->AssociatedIrp.SystemBuffer;
  ULONG_PTR returned = 0;
  NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;

  if (device == control && code == ZV_IOCTL_VENDOR_REQUEST)
    status = vendor_request(buffer, in_size, out_size, &returned);
  else if (device == control && code == ZV_STANDIN_IOCTL_STATE)
    status = state_request(buffer, out_size, &returned);
  return complete(irp, status, returned);
}

/* Opens reach the control device through the channel's link or the host's name. Wine hands
 * the caller its handle before this runs, so a refusal here would not fail CreateFileW; an
 * unplugged device is refused by having no link at all. */
static NTSTATUS WINAPI dispatch_create_close(DEVICE_OBJECT *device, IRP *irp) {
  return complete(irp, device == control ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_REQUEST, 0);
}

static void delete_device(void) {
  UNICODE_STRING link;
  KeSetEvent(&removing, IO_NO_INCREMENT, FALSE);
  join_replug_thread();
  disable_interface();
  RtlInitUnicodeString(&link, control_link_name);
  IoDeleteSymbolicLink(&link);
  if (interface_directory) ZwClose(interface_directory);
  if (lower) IoDetachDevice(lower);
  if (control) IoDeleteDevice(control);
  if (fdo) IoDeleteDevice(fdo);
  if (interface_link.Buffer) RtlFreeUnicodeString(&interface_link);
  interface_directory = NULL;
  fdo = lower = pdo = control = NULL;
}

static NTSTATUS WINAPI dispatch_pnp(DEVICE_OBJECT *device, IRP *irp) {
  IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status;

  if (device != fdo) return complete(irp, STATUS_NOT_SUPPORTED, 0);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      irp->IoStatus.Status = enable_interface();
      break;
    case IRP_MN_SURPRISE_REMOVAL:
      /* Gone without notice: no program may find the interface from now on. */
      KeSetEvent(&removing, IO_NO_INCREMENT, FALSE);
      join_replug_thread();
      disable_interface();
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    case IRP_MN_REMOVE_DEVICE: {
      DEVICE_OBJECT *below = lower;
      /* The interface goes, and the replug thread ends, before the removal goes down;
       * what the lower driver may still need stays until it has returned. */
      KeSetEvent(&removing, IO_NO_INCREMENT, FALSE);
      join_replug_thread();
      disable_interface();
      irp->IoStatus.Status = STATUS_SUCCESS;
      IoSkipCurrentIrpStackLocation(irp);
      status = IoCallDriver(below, irp);
      delete_device();
      return status;
    }
    default:
      break;
  }
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(lower, irp);
}

static NTSTATUS WINAPI dispatch_power(DEVICE_OBJECT *device, IRP *irp) {
  if (device != fdo) return complete(irp, STATUS_NOT_SUPPORTED, 0);
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(lower, irp);
}

static NTSTATUS WINAPI add_device(DRIVER_OBJECT *driver, DEVICE_OBJECT *device_pdo) {
  UNICODE_STRING name;
  struct path channel = {{0}, 0, FALSE};
  NTSTATUS status;

  if (fdo) return STATUS_DEVICE_ALREADY_ATTACHED;
  KeClearEvent(&removing);
  if (standin_model_start() != 0) return STATUS_UNSUCCESSFUL;
  status =
      IoCreateDevice(driver, 0, NULL, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &fdo);
  if (!NT_SUCCESS(status)) return status;
  pdo = device_pdo;
  RtlInitUnicodeString(&name, reference_string);
  status = IoRegisterDeviceInterface(device_pdo, &zv_render_class, &name, &interface_link);
  if (NT_SUCCESS(status)) {
    append(&channel, interface_link.Buffer, interface_base_units() + 1);
    append_text(&channel, channel_component);
    if (channel.overflow) status = STATUS_NAME_TOO_LONG;
  }
  if (NT_SUCCESS(status)) {
    RtlInitUnicodeString(&name, control_device_name);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE,
                            &control);
  }
  if (NT_SUCCESS(status)) status = make_link(control_link_name, control_device_name);
  if (!NT_SUCCESS(status)) {
    delete_device();
    return status;
  }
  RtlCopyMemory(channel_link, channel.text, sizeof channel.text);
  control->Flags |= DO_BUFFERED_IO;
  control->Flags &= ~DO_DEVICE_INITIALIZING;
  lower = IoAttachDeviceToDeviceStack(fdo, device_pdo);
  fdo->Flags |= DO_BUFFERED_IO;
  fdo->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void WINAPI driver_unload(DRIVER_OBJECT *driver) { (void)driver; }

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry) {
  (void)registry;
  KeInitializeMutex(&presence_lock, 0);
  KeInitializeEvent(&removing, NotificationEvent, FALSE);
  driver->DriverExtension->AddDevice = add_device;
  driver->DriverUnload = driver_unload;
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create_close;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_create_close;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_create_close;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  return STATUS_SUCCESS;
}
