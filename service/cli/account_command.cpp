#include <iconv.h>
#include <termios.h>
#include <unistd.h>

#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "service/cli/commands.h"
#include "service/context.h"
#include "service/keys/account_keys.h"
#include "service/pages/password.h"
#include "service/requests/values.h"
#include "service/store/attempt_key.h"
#include "service/store/store.h"

namespace mailwarden::cli {
namespace {

struct AccountArgs {
  std::string database;
  std::string keyFile;
  std::string address;
  int credit = 100;
  int codepage = 1252;
  bool yes = false;
};

// An address as the add-in sends it: no blanks or control characters, a
// name and a domain around one "@".
std::string CheckedAddress(const std::string& address) {
  if (address.empty()) throw Failure("the address is empty");
  for (char c : address) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) throw Failure("the address " + address + " holds a blank");
  }
  std::size_t at = address.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 == address.size() || address.find('@') != at) {
    throw Failure(address + " is not an e-mail address (NAME@DOMAIN)");
  }
  return address;
}

bool OnTerminal() {
  return ::isatty(STDIN_FILENO) != 0;
}

// One line of standard input; on a terminal after a prompt, not echoed.
std::string ReadLine(const std::string& prompt, bool hidden) {
  termios saved{};
  bool terminal = OnTerminal() && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    std::cerr << prompt << std::flush;
    if (hidden) {
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
  }
  std::string line;
  std::getline(std::cin, line);
  if (terminal && hidden) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << std::endl;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string ReadPassword(const std::string& address) {
  std::string password = ReadLine("Password for " + address + ": ", true);
  if (password.empty()) throw Failure(OnTerminal() ? "no password given" : "no password on standard input");
  if (OnTerminal() && ReadLine("The same again: ", true) != password) throw Failure("the two passwords differ");
  return password;
}

std::string HashPassword(const std::string& password) {
  if (password.size() < pages::kMinPasswordLength) {
    throw Failure("the password must have at least " + std::to_string(pages::kMinPasswordLength) + " characters");
  }
  try {
    return pages::HashPassword(password);
  } catch (const std::runtime_error& error) {
    throw Failure(error.what());
  }
}

void Require(bool found, const std::string& address) {
  if (!found) throw Failure("no account " + address);
}

}  // namespace

void CheckCodepage(int codepage) {
  iconv_t converter = iconv_open("UTF-8", ("CP" + std::to_string(codepage)).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) throw Failure("unknown code page " + std::to_string(codepage));
  iconv_close(converter);
}

void AddAccount(CLI::App& app, Action& action) {
  auto args = std::make_shared<AccountArgs>();
  CLI::App* accounts = app.add_subcommand("account", "Manage the senders' accounts");
  accounts->require_subcommand(1);
  auto command = [&](const char* name, const char* description, bool withAddress) {
    CLI::App* sub = accounts->add_subcommand(name, description);
    AddDatabaseOption(*sub, args->database);
    if (withAddress) sub->add_option("ADDRESS", args->address, "The sender's e-mail address")->required();
    return sub;
  };
  auto open = [args] { return store::OpenStore(args->database); };
  AddNoticeCommands(*accounts, action);

  CLI::App* add = command("add", "Create an account with a monthly credit", true);
  add->add_option("--credit", args->credit, "Credits each calendar month (UTC)")
      ->capture_default_str()
      ->check(WholeNumber(0));
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
  credit->add_option("N", args->credit, "Credits each calendar month")->required()->check(WholeNumber(0));
  credit->callback([&action, args, open] {
    action = [args, open] {
      Require(open()->SetMonthlyCredit(args->address, args->credit), args->address);
      std::cout << "monthly credit of " << args->address << " set to " << args->credit << std::endl;
      return 0;
    };
  });

  command("password",
          "Set the password of the sender's pages: asked for on a terminal (not shown), else read from standard input",
          true)
      ->callback([&action, args, open] {
        action = [args, open] {
          auto store = open();
          const auto account = store->FindAccount(args->address);
          Require(account.has_value(), args->address);
          Require(store->SetPasswordHash(args->address, HashPassword(ReadPassword(args->address))), args->address);
          // Whoever was signed in with the old password is not any more, and
          // failed sign-ins no longer hold the sender back.
          store->EndSessions(account->id, "");
          store->ForgetAttempts(store::SignInFailureKind(args->address));
          std::cout << "password of " << args->address << " set; its sessions ended" << std::endl;
          return 0;
        };
      });

  command("unlock", "Let the sender sign in again at once, however many sign-ins failed for the address", true)
      ->callback([&action, args, open] {
        action = [args, open] {
          auto store = open();
          Require(store->FindAccount(args->address).has_value(), args->address);
          store->ForgetAttempts(store::SignInFailureKind(args->address));
          std::cout << "failed sign-ins for " << args->address << " forgotten" << std::endl;
          return 0;
        };
      });

  CLI::App* codepage = command("codepage", "Set the Windows code page the sender's add-in writes in", true);
  codepage->add_option("N", args->codepage, "1252, 932, 1251, ...")->required()->check(WholeNumber(1, 65535));
  codepage->callback([&action, args, open] {
    action = [args, open] {
      CheckCodepage(args->codepage);
      auto store = open();
      Require(store->SetCodepage(args->address, args->codepage), args->address);
      const int reread = ReadKeptTextsAgain(*store, args->address, args->codepage);
      std::cout << "code page of " << args->address << " set to " << args->codepage;
      if (reread > 0) std::cout << "; " << reread << " earlier messages read in it";
      std::cout << std::endl;
      return 0;
    };
  });

  CLI::App* key = command("key",
                          "Make the sender's add-in key, replacing any before, and print it: it is shown this once "
                          "and kept only encrypted",
                          true);
  AddKeyFileOption(*key, args->keyFile);
  key->callback([&action, args, open] {
    action = [args, open] {
      const std::optional<keys::SealingKey> sealing = SealingKeyFor(args->database, args->keyFile);
      if (!sealing) throw Failure("an in-memory database keeps no add-in key beyond this command");
      auto store = open();
      const std::optional<std::string> made = keys::MakeAddinKey(*store, *sealing, args->address);
      Require(made.has_value(), args->address);
      std::cout << "add-in key of " << args->address << " (shown this once; the add-in's setup asks for it as "
                << "\"Add-in key\", corvanta takes it as --service-key):\n"
                << *made << std::endl;
      return 0;
    };
  });

  CLI::App* remove = command(
      "remove", "Delete an account with all its messages, stamps and events (asks first; --yes does not)", true);
  remove->add_flag("--yes", args->yes, "Delete without asking (needed without a terminal)");
  remove->callback([&action, args, open] {
    action = [args, open] {
      auto store = open();
      Require(store->FindAccount(args->address).has_value(), args->address);
      if (!args->yes) {
        if (!OnTerminal()) {
          throw Failure("account remove deletes " + args->address +
                        " with all its messages; add --yes to do it without a terminal");
        }
        std::string answer =
            ReadLine("Delete " + args->address + " with all its messages, stamps and events? [y/N] ", false);
        if (answer != "y" && answer != "Y" && answer != "yes") {
          std::cout << "nothing removed" << std::endl;
          return 1;
        }
      }
      Require(store->RemoveAccount(args->address), args->address);
      std::cout << "removed " << args->address << " with all its messages" << std::endl;
      return 0;
    };
  });
}

}  // namespace mailwarden::cli
