// The fetch-rules task: runs the four source steps, merges their rule buckets and appends the
// merged lists to the blacklist and whitelist boxes.
#pragma once

#include <initializer_list>

#include "base/text.h"
#include "rules/sources/source_steps.h"

void FetchRulesTask(const SourceSelection& selection);

// Clean-up: the merged lists and the buckets emptied and their memory given back.
void ReleaseRuleBuckets();

// Merges buckets in order: the text built so far is trimmed before each next (trimmed) bucket is
// added after a CR LF. Empty middle buckets leave no empty line; an empty last bucket leaves the
// final CR LF; all empty gives a single CR LF.
Text MergeRuleBuckets(std::initializer_list<const Text*> buckets);
