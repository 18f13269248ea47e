// The card maker's driver library, CG400D32.dll: the calls Vorlane makes and
// the values it passes. The virtual card implements the same declarations,
// and vorlane-cli's recorder calls them.
#pragma once

#include <cstdint>

#include "card_constants.h"

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
