// The two outside tools the program carries in its read-only data: the console extractor
// (written to the temporary directory as myrar.exe) and the 7z library (loaded from memory).
// The native build carries a native extractor and no 7z library (an empty image).
#pragma once

#include <cstddef>

extern "C" const unsigned char RarToolImage[];
extern "C" const unsigned char RarToolImageEnd[];
extern "C" const unsigned char SevenZipImage[];
extern "C" const unsigned char SevenZipImageEnd[];

inline size_t RarToolImageSize() { return size_t(RarToolImageEnd - RarToolImage); }
inline size_t SevenZipImageSize() { return size_t(SevenZipImageEnd - SevenZipImage); }
