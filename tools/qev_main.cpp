// qev: seismic hazard from incomplete and uncertain earthquake catalogs.
// Command-line arguments serve only as names of files answered blank.
#include <iostream>
#include <string>
#include <vector>

#include "driver/run_session.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  qev::TextIo io(std::cin, std::cout, std::move(args));
  const int status = qev::RunSession(io);
  std::cout.flush();
  return status;
}
