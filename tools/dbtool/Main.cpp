// dbtool: the engine's command-line tool (see Commands.cpp for the commands).
#include <unistd.h>

#include <string>
#include <vector>

#include "Commands.h"

int main(int argc, char** argv) {
  dbtool::Io io;
  io.ErrIsTerminal = isatty(STDERR_FILENO) != 0;
  return dbtool::RunDbtool(std::vector<std::string>(argv + 1, argv + argc), io);
}
