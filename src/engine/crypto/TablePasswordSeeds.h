// The default passwords of the "CWorkers" and the "SysPM" tables, made at
// run time from seeds fixed when the program is built (the CMake cache
// variables of TablePasswordSeeds.cmake), so that neither password stands
// whole in the program. An installation builds with seeds of its own.
#pragma once

#include <string>

namespace engine {

// Made by a generator from its seed: RI_CWORKERS_PASSWORD_LENGTH letters
// and digits.
std::string DefaultCWorkersPassword();

// 20 characters taken from a built-in text, which is kept enciphered.
std::string DefaultSysPMPassword();

}  // namespace engine
