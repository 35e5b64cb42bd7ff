// Encrypted tables: the rebuild enables a table's password right after
// opening it and disables it again before closing it.
//
// Tables whose name begins with "CWorkers" or "SysPM" (ignoring case) each
// have a password of their own; every other table has the empty password. The
// passwords are never stored whole in the program: a provider makes them when
// asked.
#pragma once

#include <memory>
#include <string>

class TAdsTable;

class TTablePasswordProvider {
 public:
  virtual ~TTablePasswordProvider() = default;
  virtual std::string CWorkersPassword() const = 0;
  virtual std::string SysPMPassword() const = 0;
};

// The provider of an installation: the passwords made at run time from the
// seeds the program was built with (engine/TablePasswordSeeds.h), so that
// neither stands whole in the program.
class TDefaultTablePasswordProvider : public TTablePasswordProvider {
 public:
  std::string CWorkersPassword() const override;
  std::string SysPMPassword() const override;
};

// Installs the provider (tests install their own); nullptr goes back to the
// default provider, which serves until one is installed.
void SetTablePasswordProvider(std::unique_ptr<TTablePasswordProvider> provider);

// The password of a table by its name.
std::string GetTablePassword(const std::string& table_name);

// On an open table: whether it is encrypted; enable its password; disable it.
bool IsTableEncrypted(TAdsTable& table);
void EnableTableEncryption(TAdsTable& table);
void DisableTableEncryption(TAdsTable& table);
