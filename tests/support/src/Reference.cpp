#include "support/Reference.h"

namespace corvane::test {

std::string CrcLine(std::string_view f1, std::string_view f2, std::string_view f3,
                    std::string_view f4) {
  std::string line;
  line.append(f1).append("\t\t").append(f2).append("\t\t111 x 222\t\t");
  line.append(f3).append("\t\t").append(f4).append("\r\n");
  return line;
}

std::vector<std::string> ReferenceRecords(std::string_view line) {
  std::vector<std::string> records;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t lf = line.find('\n', start);
    if (lf == std::string_view::npos) lf = line.size();
    std::string_view rest = line.substr(start, lf - start);
    std::string_view fields[4];
    for (int f = 0; f < 3; ++f) {
      const std::size_t comma = rest.find(',');
      fields[f] = rest.substr(0, comma);
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
    fields[3] = rest;
    std::string record = CrcLine(fields[0], fields[1], fields[2], fields[3]);
    record.resize(record.size() - 2);  // without its CR LF
    records.push_back(std::move(record));
    start = lf + 1;
  }
  return records;
}

std::string ReferenceConvert(std::string_view input) {
  std::string out;
  const auto appendLine = [&out](std::string_view line) {
    for (const std::string& record : ReferenceRecords(line)) out.append(record).append("\r\n");
  };
  std::size_t start = 0;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '\r') {
      appendLine(input.substr(start, i - start));
      if (i + 1 < input.size() && input[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < input.size()) appendLine(input.substr(start));
  return out;
}

}  // namespace corvane::test
