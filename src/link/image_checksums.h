#pragma once
// The three checksums of the flash image that the program shows, stores in
// project files and sends in every parameter block: ImageCrc16, ImagePacketCrc
// and ImageSum32 (with ImageSum16, its low half). GUI thread, like g.

#include <cstdint>

// Computes them over FlashImage[start..end] (both included) into g. A range
// reaching past FlashImage (a project file can name one) is not read at all:
// the checksums then hold what their routines give for a refused range
// (CRC 0xFFFF, packet CRC 0, sums 0).
void ComputeImageChecksums(uint32_t start, uint32_t end);
