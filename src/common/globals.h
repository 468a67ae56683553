// The process-wide state, built once at start-up by CreateGlobals and released at unload.
// Texts start empty and numbers at 0; the arrays have their fixed sizes from the start.
#pragma once

#include <array>

#include "base/text.h"
#include "common/rar_state.h"
#include "common/shared_text.h"
#include "common/worker_threads.h"
#include "common/xml_reader.h"
#include "platform/threads.h"

constexpr int kSourceSlots = 7;

struct Globals {
    Text TempDir;  // set by InstallRarTool

    // Results of the update probes, written by the probe threads and read by the window.
    std::array<SharedText, kSourceSlots> UpdateInfos;
    std::array<SharedText, kSourceSlots> UpdateDates;
    SharedText ChinaListText;  // shared by the ChinaList probe and the ChinaList step

    // Handles of the background tasks, by slot; only the window thread touches them.
    std::array<platform::ThreadHandle, kWorkerSlots> WorkerThreads{};

    // The merged lists of the last fetch and the nine rule buckets (the fetch task's own).
    Text BlacklistText, WhitelistText;
    Text MaxthonBlockRules, KingsoftRules, ChinaListBlockRules, ChinaListHideRules;
    Text UserBlockRules, UserHideRules;
    Text MaxthonWhiteRules, ChinaListWhiteRules, UserWhiteRules;

    // The 7z library loaded from memory at start-up (the mapping itself is kept by the start-up
    // code) and its two exports (0 when not found).
    int SevenZipLoaded = 0;  // 1 when the load succeeded
    uintptr_t List7zProc = 0;
    uintptr_t Unpack7zProc = 0;

    // The RAR runner's pipe, process records, busy flag and read buffer.
    RarRunnerState Rar;

    // The one XML reader, for the Maxthon site list; each load empties it first.
    XmlReader XmlParser;
};

// The process's one instance; valid between CreateGlobals and DestroyGlobals.
Globals& G();
void CreateGlobals();
void DestroyGlobals();
bool GlobalsExist();
