// The Maxthon source step's parts: the archive kinds recognised by their first bytes, the link
// of the forum's download page, the step itself (FetchMaxthonRules, source_steps.h) and the
// conversion of the unpacked SiteList.xml.
#pragma once

#include "base/text.h"

enum class MaxthonArchiveKind { None, SevenZip, Zip, Rar };

// By the signature at the start, tested in the order 7z, ZIP, RAR.
MaxthonArchiveKind MaxthonArchiveKindOf(const ByteBuffer& download);

// The link of the download page: from a double quote followed by "attachment.php?aid=29080"
// (letter case ignored) up to the next double quote; empty when there is no closing quote.
// `found` tells whether the quoted start was there at all.
Text MaxthonPageLink(const ByteBuffer& page, bool& found);

// Removes the work directories that failed runs left in the "tmp" directory: directories
// ending ".tqnx" that hold a saved "SiteList.rar".
void RemoveLeftMaxthonWorkDirs();

// Converts workDir + "\SiteList.xml" into MaxthonBlockRules and MaxthonWhiteRules and deletes
// workDir; 0 on success, -1 when the file is not a usable site list.
int ConvertSiteList(const Text& workDir);

// Clean-up: the step's XML reader releases what it holds.
void ReleaseSiteListReader();
