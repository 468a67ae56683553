// Source steps whose sources are not wired in yet. Each leaves its buckets as they are, which
// the merge of FetchRulesTask handles like any other run (an untouched bucket is merged again).
#include "rules/sources/source_steps.h"

void FetchMaxthonRules() {}
