#pragma once
// Where the service's sealing key comes from: MAILWARDEN_KEY (64 hexadecimal
// digits) when set, else a key file, made with a fresh key (mode 0600) the
// first time it is needed. Every process sharing a database needs the same.
#include <string>

#include "service/keys/sealing.h"

namespace mailwarden::keys {

// For "sqlite:PATH" the file beside the database, PATH + ".key"; for an
// in-memory database none (a key drawn for the process, as the database is
// its alone); for any other "mailwarden.key" in the working directory.
std::string DefaultKeyFile(const std::string& database);

// Throws std::runtime_error naming the file or variable that is wrong.
SealingKey LoadSealingKey(const std::string& keyFile);

}  // namespace mailwarden::keys
