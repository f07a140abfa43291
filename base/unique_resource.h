#ifndef ULVERANE_BASE_UNIQUE_RESOURCE_H_
#define ULVERANE_BASE_UNIQUE_RESOURCE_H_

#include <windows.h>
#include <rpc.h>

#include <utility>

namespace ulverane {

// Sole owner of one platform handle. Traits give the handle type, its
// invalid value and how to close it.
template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueResource(Type value) noexcept : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Type get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != Traits::Invalid(); }

  Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }

  // The slot for a function that returns the handle through an
  // out-parameter; whatever was held is closed first. Hand the call's
  // success to Received, so that whatever a failed call left in the slot is
  // dropped, never taken for a handle:
  //   if (!key.Received(RegOpenKeyExW(..., key.put()) == ERROR_SUCCESS))
  Type* put() noexcept {
    reset();
    return &value_;
  }
  bool Received(bool succeeded) noexcept {
    if (!succeeded)
      value_ = Traits::Invalid();
    return succeeded;
  }

  void reset(Type value = Traits::Invalid()) noexcept {
    const Type old = std::exchange(value_, value);
    if (old != Traits::Invalid())
      Traits::Close(old);
  }

 private:
  Type value_;
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) noexcept { CloseHandle(handle); }
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type handle) noexcept { CloseHandle(handle); }
};

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type key) noexcept { RegCloseKey(key); }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type module) noexcept { FreeLibrary(module); }
};

struct IconTraits {
  using Type = HICON;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type icon) noexcept { DestroyIcon(icon); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type find) noexcept { FindClose(find); }
};

// Strings that the RPC runtime allocated (UuidToStringW and the like).
struct RpcStringTraits {
  using Type = RPC_WSTR;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type text) noexcept { RpcStringFreeW(&text); }
};

// Memory that the system allocated for the caller with LocalAlloc (security
// descriptors, SID strings).
struct LocalMemoryTraits {
  using Type = HLOCAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type memory) noexcept { LocalFree(memory); }
};

// Windows that this thread made: a top-level one takes its children along.
struct WindowTraits {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type window) noexcept { DestroyWindow(window); }
};

// CreateFile-style handles: INVALID_HANDLE_VALUE means none.
using UniqueFile = UniqueResource<FileHandleTraits>;
// Process, thread and event handles: null means none.
using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
// Icons from LoadImage without LR_SHARED.
using UniqueIcon = UniqueResource<IconTraits>;
using UniqueRpcString = UniqueResource<RpcStringTraits>;
// Searches from FindFirstFileW.
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
using UniqueWindow = UniqueResource<WindowTraits>;

}  // namespace ulverane

#endif  // ULVERANE_BASE_UNIQUE_RESOURCE_H_
