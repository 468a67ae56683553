// Start-up steps that install the two outside tools.
#pragma once

// Loads the embedded 7z library from memory and looks up List7z and unpack7z; start-up goes on
// whatever the outcome (SevenZipLoaded tells).
void LoadSevenZipLibrary();
// TempDir = the system temporary directory; writes the embedded extractor to TempDir +
// "myrar.exe", replacing an existing file. The outcome of the write is not looked at.
void InstallRarTool();
// Stops and releases the 7z library (clean-up).
void ReleaseSevenZipLibrary();
