// The check's report in words, for pelmora-cli's standard output.
#pragma once

#include <string>
#include <vector>

#include "core/run/verify.h"

// What the check found, line by line: one line per run ("OK" or "FAILED", the name pattern, the
// files and their size), under it one line for the missing numbers and one per bad file.
std::vector<std::u16string> verify_report(const FolderCheck& check);
// The report in pieces, for one written as the check goes: the lines of one run, then the notes
// and the count of runs at the end.
std::vector<std::u16string> run_report(const RunCheck& run);
std::vector<std::u16string> report_end(const FolderFacts& facts);
