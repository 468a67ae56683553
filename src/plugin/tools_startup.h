// Start-up steps that install the two outside tools the program carries in its read-only data.
#pragma once

// Loads the embedded 7z library from memory (archive/seven_zip.h); start-up goes on whatever the
// outcome.
void LoadEmbeddedSevenZipLibrary();
// TempDir = the system temporary directory; writes the embedded extractor to TempDir +
// "myrar.exe", replacing an existing file. The outcome of the write is not looked at.
void InstallRarTool();
