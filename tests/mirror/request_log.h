// The mirror's request log as the tests read it: each request's request line and header lines,
// in order; each request ends with a blank line. Shared by the native and the Wine tests.
#pragma once

#include <istream>
#include <string>
#include <vector>

inline std::vector<std::vector<std::string>> ParseRequestLog(std::istream& in) {
    std::vector<std::vector<std::string>> requests;
    std::vector<std::string> current;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            if (!current.empty()) requests.push_back(current);
            current.clear();
        } else {
            current.push_back(line);
        }
    }
    return requests;  // a record not yet ended by its blank line may still be being written
}
