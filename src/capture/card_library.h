// The card maker's driver library, CG400D32.dll: the calls Vorlane makes and
// the values it passes. The virtual card implements the same declarations.
#pragma once

#include <cstdint>

extern "C" {
int __stdcall BeginCG400(int cardNumber);
int __stdcall EndCG400(int handle);
int __stdcall CG400SetInpVideoWindow(int handle, int left, int top, int width, int height);
int __stdcall CG400SetDispWindow(int handle, int left, int top, int width, int height);
int __stdcall CG400SetColorSpace(int handle, unsigned char code);
int __stdcall CG400SetADParam(int handle, int selector, int value);
int __stdcall StaticMemAlloc(uint32_t *memPages, uint32_t *snapTarget, uint32_t *unused,
                             uint32_t *readSource);
int __stdcall CG400SnapOneToMem(int handle, uint32_t snapTarget, uint32_t byteCount, int zero);
int __stdcall CG400GetSnappingStatus(int handle, uint32_t *status);
int __stdcall CG400ReadFromMem(int handle, uint32_t readSource, uint32_t byteCount, int slot,
                               void *destination, int one);
}

namespace card {

constexpr int kCardNumber = 1;
constexpr uint32_t kMemPageBytes = 4096;

// The video frame the card digitises.
constexpr int kInputWidth = 768;
constexpr int kInputHeight = 576;

// A/D adjustment selectors for CG400SetADParam.
constexpr int kAdSelector1 = 1;
constexpr int kAdSelector2 = 2;
constexpr int kAdSelector4 = 4;
constexpr int kAdMiddle = 128;

// CG400GetSnappingStatus: slot 0 holds a whole frame once the status has
// turned to kStatusSlot0Ready, slot 1 once it has turned to kStatusSlot1Ready.
constexpr uint32_t kStatusSlot0Ready = 2;
constexpr uint32_t kStatusSlot1Ready = 0;

// What StaticMemAlloc hands out; the values are opaque to us.
struct StaticMemory {
    uint32_t memPages;
    uint32_t snapTarget;
    uint32_t unused;
    uint32_t readSource;
};

}  // namespace card
