#include <iconv.h>
#include <sodium.h>

#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include "service/cli/commands.h"
#include "service/context.h"
#include "service/store/store.h"

namespace mailwarden::cli {
namespace {

struct AccountArgs {
  std::string database = kDefaultDatabase;
  std::string address;
  int credit = 100;
  int codepage = 1252;
};

// An address as the add-in sends it: no blanks or control characters.
std::string CheckedAddress(const std::string& address) {
  if (address.empty()) throw Failure("the address is empty");
  for (char c : address) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) throw Failure("the address " + address + " holds a blank");
  }
  return address;
}

std::string ReadPassword() {
  std::string password;
  std::getline(std::cin, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) throw Failure("no password on standard input");
  return password;
}

std::string HashPassword(const std::string& password) {
  if (sodium_init() < 0) throw Failure("libsodium cannot start");
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    throw Failure("not enough memory to hash the password");
  }
  return hash;
}

void CheckCodepage(int codepage) {
  iconv_t converter = iconv_open("UTF-8", ("CP" + std::to_string(codepage)).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) throw Failure("unknown code page " + std::to_string(codepage));
  iconv_close(converter);
}

void Require(bool found, const std::string& address) {
  if (!found) throw Failure("no account " + address);
}

}  // namespace

void AddAccount(CLI::App& app, Action& action) {
  auto args = std::make_shared<AccountArgs>();
  CLI::App* accounts = app.add_subcommand("account", "Manage the senders' accounts");
  accounts->require_subcommand(1);
  auto command = [&](const char* name, const char* description, bool withAddress) {
    CLI::App* sub = accounts->add_subcommand(name, description);
    sub->add_option("--database", args->database, "sqlite:PATH, sqlite::memory: or postgresql://...")
        ->capture_default_str();
    if (withAddress) sub->add_option("ADDRESS", args->address, "The sender's e-mail address")->required();
    return sub;
  };
  auto open = [args] { return store::OpenStore(args->database); };

  CLI::App* add = command("add", "Create an account with a monthly credit", true);
  add->add_option("--credit", args->credit, "Credits each calendar month (UTC)")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  add->callback([&action, args, open] {
    action = [args, open] {
      auto store = open();
      store::Account account = store->AddAccount(CheckedAddress(args->address), args->credit, SystemNow());
      std::cout << "added " << account.address << " with " << account.monthlyCredit << " credits a month" << std::endl;
      return 0;
    };
  });

  command("list", "List the accounts with their credit left this month", false)->callback([&action, args, open] {
    action = [open] {
      auto store = open();
      store::Time now = SystemNow();
      for (const store::Account& account : store->ListAccounts()) {
        std::cout << account.address << "  monthly " << account.monthlyCredit << "  left "
                  << store->CreditLeft(account.address, now).value_or(0) << "  code page " << account.codepage
                  << (account.passwordHash.empty() ? "  no password" : "") << "\n";
      }
      std::cout << std::flush;
      return 0;
    };
  });

  CLI::App* credit = command("credit", "Set the monthly credit of an account", true);
  credit->add_option("N", args->credit, "Credits each calendar month")->required()->check(CLI::NonNegativeNumber);
  credit->callback([&action, args, open] {
    action = [args, open] {
      Require(open()->SetMonthlyCredit(args->address, args->credit), args->address);
      return 0;
    };
  });

  command("password", "Set the password of the sender's pages, read from standard input", true)
      ->callback([&action, args, open] {
        action = [args, open] {
          auto store = open();
          Require(store->FindAccount(args->address).has_value(), args->address);
          Require(store->SetPasswordHash(args->address, HashPassword(ReadPassword())), args->address);
          return 0;
        };
      });

  CLI::App* codepage = command("codepage", "Set the Windows code page the sender's add-in writes in", true);
  codepage->add_option("N", args->codepage, "1252, 932, 1251, ...")->required()->check(CLI::Range(1, 65535));
  codepage->callback([&action, args, open] {
    action = [args, open] {
      CheckCodepage(args->codepage);
      Require(open()->SetCodepage(args->address, args->codepage), args->address);
      return 0;
    };
  });

  command("remove", "Delete an account with all its messages, stamps and events", true)
      ->callback([&action, args, open] {
        action = [args, open] {
          Require(open()->RemoveAccount(args->address), args->address);
          return 0;
        };
      });
}

}  // namespace mailwarden::cli
