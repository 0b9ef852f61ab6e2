// Move-only owners for COM: an interface reference, a BSTR, and the COM library's initialisation
// on the calling thread. None of them throws.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <utility>

// Holds one reference to an interface and releases it when replaced or destroyed.
template <typename Interface>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }

    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    void Reset() {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }
    // For the out parameter of a call that hands over a new reference.
    Interface** Put() {
        Reset();
        return &pointer_;
    }
    // Same, typed as the void** that QueryInterface and CoCreateInstance take.
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Asks the held object for another interface; an empty holder when it has none.
    template <typename Other>
    ComPtr<Other> As(REFIID iid) const {
        ComPtr<Other> other;
        if (pointer_ != nullptr && FAILED(pointer_->QueryInterface(iid, other.PutVoid()))) {
            other.Reset();
        }
        return other;
    }

  private:
    Interface* pointer_ = nullptr;
};

// Owns a BSTR (SysAllocString family), freed with SysFreeString.
class UniqueBstr {
  public:
    UniqueBstr() = default;
    explicit UniqueBstr(const std::wstring& text)
        : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~UniqueBstr() { SysFreeString(bstr_); }

    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const { return bstr_; }
    BSTR* Put() {
        SysFreeString(std::exchange(bstr_, nullptr));
        return &bstr_;
    }
    // The text with its recorded length (a null BSTR is the empty string).
    std::wstring Text() const { return std::wstring(bstr_, SysStringLen(bstr_)); }

  private:
    BSTR bstr_ = nullptr;
};

// CoInitialize on construction and the matching CoUninitialize on destruction, when the first
// succeeded (also when COM was already initialised on this thread: the count is nested).
class ComApartment {
  public:
    ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() {
        if (initialized_) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool Initialized() const { return initialized_; }

  private:
    bool initialized_;
};
