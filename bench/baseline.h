#pragma once

#include <string>

// The file work an action cannot avoid, done in plain C++ with as little else as
// possible: the cases time the program's action beside these to show what the
// program adds on top. Paths and texts are UTF-8, as the program writes them.
namespace Baseline {

// Writes the purge script for `urls` (CR LF between lines) to <folder>/test.bat
// through one buffered std::ofstream, byte for byte what Purge::run writes for
// plain URLs, and gives back what the result files of those line numbers hold, or
// the missing-file text for each one that is not there. A missing file costs one
// failed open(), an existing one open(), read() to the end and close().
std::string purge(const std::string &folder, const std::string &server, const std::string &urls);

// Writes the one-line status script to <folder>/info.bat and reads "info.txt "
// whole, or gives the missing-file text.
std::string statusQuery(const std::string &folder, const std::string &server, const std::string &request);

// Reads a whole file, or gives the missing-file text.
std::string readFile(const std::string &path);

// The missing-file text in UTF-8.
const std::string &missingText();

} // namespace Baseline
