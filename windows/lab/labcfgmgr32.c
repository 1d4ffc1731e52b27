// SPDX-License-Identifier: MIT
// cfgmgr32.dll for the Windows lab's Wine prefix only, never shipped. Wine 10
// stubs the three calls below, which hidapi's enumeration needs; everything
// they need is in SetupAPI, which Wine does implement. The other calls that
// hidapi loads are forwarded to setupapi in labcfgmgr32.def, as Wine's own
// cfgmgr32 does.
//
// Built with MinGW i686 and -static (a libgcc DLL would not be found).
#include <windows.h>
// Defined here, not imported.
#undef CMAPI
#define CMAPI
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>
#include <stdlib.h>
#include <wchar.h>

// DEVPKEY_Device_InstanceId, the one interface property hidapi asks for.
static const DEVPROPKEY instance_id_key = {
    {0x78c34fc8, 0x104a, 0x4aca, {0x9e, 0xa4, 0x52, 0x4d, 0x52, 0x99, 0x6e, 0x57}}, 256};

// Calls fn(path, instance id, context) for each interface of the class;
// stops when fn returns FALSE. Returns FALSE if the class cannot be listed.
typedef BOOL (*interface_fn)(const WCHAR *path, const WCHAR *instance, void *context);

static BOOL for_each_interface(const GUID *guid, BOOL present_only, interface_fn fn, void *context)
{
    const DWORD flags = DIGCF_DEVICEINTERFACE | (present_only ? DIGCF_PRESENT : 0);
    HDEVINFO set = SetupDiGetClassDevsW(guid, NULL, NULL, flags);
    if (set == INVALID_HANDLE_VALUE)
        return FALSE;
    SP_DEVICE_INTERFACE_DATA iface;
    iface.cbSize = sizeof iface;
    BOOL more = TRUE;
    for (DWORD i = 0; more && SetupDiEnumDeviceInterfaces(set, NULL, guid, i, &iface); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &iface, NULL, 0, &size, NULL);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail = malloc(size);
        if (!detail)
            break;
        detail->cbSize = sizeof *detail;
        SP_DEVINFO_DATA info;
        info.cbSize = sizeof info;
        WCHAR instance[MAX_DEVICE_ID_LEN];
        if (SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, NULL, &info) &&
            SetupDiGetDeviceInstanceIdW(set, &info, instance, MAX_DEVICE_ID_LEN, NULL))
            more = fn(detail->DevicePath, instance, context);
        free(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    return TRUE;
}

struct list {
    const WCHAR *device; // only this instance, or NULL for all
    WCHAR *buffer;       // NULL to measure only
    ULONG capacity;      // in characters
    ULONG used;          // in characters, without the closing NUL
};

static BOOL add_to_list(const WCHAR *path, const WCHAR *instance, void *context)
{
    struct list *list = context;
    if (list->device && _wcsicmp(list->device, instance) != 0)
        return TRUE;
    const ULONG length = (ULONG)wcslen(path) + 1;
    if (list->buffer && list->used + length < list->capacity)
        memcpy(list->buffer + list->used, path, length * sizeof(WCHAR));
    list->used += length;
    return TRUE;
}

static CONFIGRET list_interfaces(struct list *list, const GUID *guid, ULONG flags)
{
    if (!guid)
        return CR_INVALID_POINTER;
    if (flags & ~CM_GET_DEVICE_INTERFACE_LIST_BITS)
        return CR_INVALID_FLAG;
    const BOOL present_only = (flags & CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) == 0;
    if (!for_each_interface(guid, present_only, add_to_list, list))
        return CR_FAILURE;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(PULONG length, LPGUID guid, DEVINSTID_W device,
                                                    ULONG flags)
{
    if (!length)
        return CR_INVALID_POINTER;
    struct list list = {device && *device ? device : NULL, NULL, 0, 0};
    const CONFIGRET cr = list_interfaces(&list, guid, flags);
    *length = cr == CR_SUCCESS ? list.used + 1 : 0;
    return cr;
}

CONFIGRET WINAPI CM_Get_Device_Interface_ListW(LPGUID guid, DEVINSTID_W device, PZZWSTR buffer,
                                               ULONG capacity, ULONG flags)
{
    if (!buffer)
        return CR_INVALID_POINTER;
    if (capacity == 0)
        return CR_BUFFER_SMALL;
    struct list list = {device && *device ? device : NULL, buffer, capacity, 0};
    const CONFIGRET cr = list_interfaces(&list, guid, flags);
    if (cr != CR_SUCCESS) {
        buffer[0] = L'\0';
        return cr;
    }
    // The list changed since its size was asked: the caller asks again.
    if (list.used + 1 > capacity) {
        buffer[0] = L'\0';
        return CR_BUFFER_SMALL;
    }
    buffer[list.used] = L'\0';
    return CR_SUCCESS;
}

struct lookup {
    const WCHAR *path;
    WCHAR instance[MAX_DEVICE_ID_LEN];
    BOOL found;
};

static BOOL match_path(const WCHAR *path, const WCHAR *instance, void *context)
{
    struct lookup *lookup = context;
    if (_wcsicmp(path, lookup->path) != 0)
        return TRUE;
    wcsncpy(lookup->instance, instance, MAX_DEVICE_ID_LEN - 1);
    lookup->instance[MAX_DEVICE_ID_LEN - 1] = L'\0';
    lookup->found = TRUE;
    return FALSE;
}

// The interface class GUID closes an interface path: "...#{GUID}".
static BOOL class_of_path(const WCHAR *path, GUID *guid)
{
    const WCHAR *open = wcsrchr(path, L'{');
    if (!open || wcslen(open) != 38 || open[37] != L'}')
        return FALSE;
    unsigned long data1;
    unsigned data2, data3, b[8];
    if (swscanf(open, L"{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &data1, &data2, &data3, &b[0],
                &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]) != 11)
        return FALSE;
    guid->Data1 = data1;
    guid->Data2 = (unsigned short)data2;
    guid->Data3 = (unsigned short)data3;
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = (unsigned char)b[i];
    return TRUE;
}

CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(LPCWSTR path, const DEVPROPKEY *key,
                                                   DEVPROPTYPE *type, PBYTE buffer, PULONG size,
                                                   ULONG flags)
{
    if (!path || !key || !type || !size)
        return CR_INVALID_POINTER;
    if (flags != 0)
        return CR_INVALID_FLAG;
    if (!buffer && *size != 0)
        return CR_INVALID_POINTER;
    GUID guid;
    if (!class_of_path(path, &guid))
        return CR_NO_SUCH_DEVICE_INTERFACE;
    struct lookup lookup = {path, L"", FALSE};
    if (!for_each_interface(&guid, FALSE, match_path, &lookup) || !lookup.found)
        return CR_NO_SUCH_DEVICE_INTERFACE;
    if (memcmp(key, &instance_id_key, sizeof *key) != 0)
        return CR_NO_SUCH_VALUE;
    const ULONG needed = (ULONG)(wcslen(lookup.instance) + 1) * sizeof(WCHAR);
    *type = DEVPROP_TYPE_STRING;
    if (*size < needed) {
        *size = needed;
        return CR_BUFFER_SMALL;
    }
    memcpy(buffer, lookup.instance, needed);
    *size = needed;
    return CR_SUCCESS;
}
