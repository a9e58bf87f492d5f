// Move-only owners for Win32 handles and COM pointers, released on every path.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shtypes.h>

#include <utility>

// Owns one handle of the kind described by Traits (its type, its invalid value and how to close it).
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  bool valid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return valid(); }

  Handle release() {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  // Closes the held handle (keeping the caller's last error) and takes the new one.
  void reset(Handle handle = Traits::Invalid()) {
    if (Traits::IsValid(handle_)) {
      DWORD lastError = GetLastError();
      Traits::Close(handle_);
      SetLastError(lastError);
    }
    handle_ = handle;
  }

  // For out-parameters: closes what is held and hands out the slot.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct KeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

struct FileTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Handle h) { CloseHandle(h); }
};

// Process, thread and event handles: null when absent.
struct KernelTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

struct FindTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Handle h) { FindClose(h); }
};

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DestroyWindow(h); }
};

using UniqueKey = UniqueHandle<KeyTraits>;              // RegCloseKey
using UniqueFile = UniqueHandle<FileTraits>;            // CloseHandle, INVALID_HANDLE_VALUE when absent
using UniqueKernelHandle = UniqueHandle<KernelTraits>;  // CloseHandle, null when absent
using UniqueFind = UniqueHandle<FindTraits>;            // FindClose
using UniqueModule = UniqueHandle<ModuleTraits>;        // FreeLibrary
using UniqueWindow = UniqueHandle<WindowTraits>;        // DestroyWindow

// Owns one COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  void reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }
  // For CoCreateInstance and QueryInterface.
  void** put_void() {
    reset();
    return reinterpret_cast<void**>(&pointer_);
  }

 private:
  T* pointer_ = nullptr;
};

// Owns an item list made by the shell, freed with the shell's allocator (SHGetMalloc). Without an allocator the list
// cannot be freed and is left.
class ShellItemList {
 public:
  explicit ShellItemList(IMalloc* allocator) : allocator_(allocator) {}
  ShellItemList(const ShellItemList&) = delete;
  ShellItemList& operator=(const ShellItemList&) = delete;
  ~ShellItemList() { reset(); }

  LPITEMIDLIST get() const { return items_; }
  // For out-parameters: frees what is held and hands out the slot.
  LPITEMIDLIST* put() {
    reset();
    return &items_;
  }
  void reset(LPITEMIDLIST items = nullptr) {
    if (items_ != nullptr && allocator_ != nullptr) allocator_->Free(items_);
    items_ = items;
  }

 private:
  IMalloc* allocator_;
  LPITEMIDLIST items_ = nullptr;
};

// COM for the calling thread (apartment model) for the lifetime of the object.
class ComApartment {
 public:
  ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialized_) CoUninitialize();
  }

 private:
  bool initialized_;
};

// Runs a callable when the scope ends; for the few clean-ups no owner type fits.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() { f_(); }

 private:
  F f_;
};
