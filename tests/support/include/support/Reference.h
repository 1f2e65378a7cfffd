// The conversion written out plainly from the rules, with no streaming, blocks or
// vector scans, to compare the engine with (the tests and fuzz/ use it):
//
// - a line ends at CR or CR LF; the end of the input ends the last line (an input
//   ending in a terminator has no empty line after it);
// - inside a line a lone LF ends a record; a trailing LF opens no further record
//   and the empty line has none;
// - a record's first three fields end at a comma, the fourth keeps the rest,
//   commas included;
// - each record becomes five columns joined by two TABs (the third is
//   "111 x 222"), followed by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::test {

// The records of one line (which holds no CR), in order, without terminators.
std::vector<std::string> ReferenceRecords(std::string_view line);

// The whole output of an input.
std::string ReferenceConvert(std::string_view input);

// The output line of one record of up to four fields, with its CR LF.
std::string CrcLine(std::string_view f1, std::string_view f2 = {}, std::string_view f3 = {},
                    std::string_view f4 = {});

}  // namespace corvane::test
