// `mailwarden account notify` and `mailwarden account webhook`: the sender's
// choices of notices, as the settings page sets them.
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "service/cli/commands.h"
#include "service/context.h"
#include "service/notices/time_zone.h"
#include "service/notices/webhook_address.h"
#include "service/notices/webhook_secret.h"
#include "service/store/store.h"

namespace mailwarden::cli {
namespace {

struct NoticeArgs {
  std::string database;
  std::string address;
  std::string mail;
  std::string timeZone;
  std::string url;
  std::string keyFile;
  std::int64_t id = 0;
  bool allowPrivate = false;
};

store::Account FindAccount(store::Store& store, const std::string& address) {
  auto account = store.FindAccount(address);
  if (!account) throw Failure("no account " + address);
  return *account;
}

}  // namespace

void AddNoticeCommands(CLI::App& accounts, Action& action) {
  auto args = std::make_shared<NoticeArgs>();
  auto open = [args] { return store::OpenStore(args->database); };

  CLI::App* notify = accounts.add_subcommand(
      "notify", "Show or set which notices the sender gets by mail, and the time zone they are written in");
  AddDatabaseOption(*notify, args->database);
  notify->add_option("ADDRESS", args->address, "The sender's e-mail address")->required();
  notify->add_option("--mail", args->mail, "each (a mail per event), hourly or daily (a digest), or off")
      ->check(CLI::IsMember({"each", "hourly", "daily", "off"}));
  notify->add_option("--time-zone", args->timeZone, "A zone of the tz database: Europe/Berlin, America/New_York, UTC");
  notify->callback([&action, args, open] {
    action = [args, open] {
      auto store = open();
      store::Account account = FindAccount(*store, args->address);
      if (!args->timeZone.empty() && !notices::TimeZone::Load(args->timeZone)) {
        throw Failure(args->timeZone + " is not a time zone of the tz database (such as Europe/Berlin)");
      }
      if (!args->mail.empty() || !args->timeZone.empty()) {
        account.notify = args->mail.empty() ? account.notify : args->mail;
        account.timeZone = args->timeZone.empty() ? account.timeZone : args->timeZone;
        store->SetNotify(account.address, account.notify, account.timeZone);
      }
      std::cout << account.address << ": mail notices " << account.notify << ", time zone " << account.timeZone
                << std::endl;
      return 0;
    };
  });

  // `account webhook ADDRESS add URL`, `... ADDRESS list`: the address first, as for the other commands.
  CLI::App* webhook = accounts.add_subcommand("webhook", "Manage the addresses the sender's events are POSTed to");
  webhook->require_subcommand(1);
  webhook->fallthrough();
  AddDatabaseOption(*webhook, args->database);
  webhook->add_option("ADDRESS", args->address, "The sender's e-mail address")->required();
  auto sub = [&](const char* name, const char* description) { return webhook->add_subcommand(name, description); };
  CLI::App* add = sub("add", "Add a webhook and print its signing secret (shown this once)");
  add->add_option("URL", args->url, "http:// or https:// address of the receiver")->required();
  AddKeyFileOption(*add, args->keyFile);
  add->add_flag("--allow-private", args->allowPrivate,
                "Allow a receiver on a private, loopback or link-local address (serve needs "
                "--webhooks-allow-private to deliver there)");
  add->callback([&action, args, open] {
    action = [args, open] {
      if (std::string refused = notices::CheckWebhookUrl(args->url, args->allowPrivate); !refused.empty()) {
        throw Failure("the webhook " + args->url + " " + refused);
      }
      const std::optional<keys::SealingKey> sealing = SealingKeyFor(args->database, args->keyFile);
      if (!sealing) throw Failure("an in-memory database keeps no webhook beyond this command");
      auto store = open();
      FindAccount(*store, args->address);
      const notices::WebhookSecret secret = notices::NewWebhookSecret(*sealing);
      const auto added = store->AddWebhook(args->address, args->url, secret.sealed, SystemNow());
      if (!added) throw Failure("no account " + args->address);
      std::cout << "webhook " << added->id << " of " << args->address << " added: " << added->url
                << "\nits signing secret (shown this once):\n"
                << secret.text << std::endl;
      return 0;
    };
  });
  sub("list", "List the sender's webhooks, the paused ones with why")->callback([&action, args, open] {
    action = [args, open] {
      auto store = open();
      const store::Account account = FindAccount(*store, args->address);
      for (const store::Webhook& hook : store->ListWebhooks(account.id)) {
        std::cout << hook.id << "  " << hook.url;
        if (hook.paused) {
          std::cout << "  paused: " << hook.lastError;
        } else if (hook.failingSince) {
          std::cout << "  failing: " << hook.lastError;
        }
        std::cout << "\n";
      }
      std::cout << std::flush;
      return 0;
    };
  });
  CLI::App* remove = sub("remove", "Remove a webhook");
  remove->add_option("ID", args->id, "The webhook's number, as list shows it")->required();
  CLI::App* resume = sub("resume", "Deliver to a paused webhook again");
  resume->add_option("ID", args->id, "The webhook's number, as list shows it")->required();
  for (CLI::App* command : {remove, resume}) {
    const bool removing = command == remove;
    command->callback([&action, args, open, removing] {
      action = [args, open, removing] {
        auto store = open();
        const store::Account account = FindAccount(*store, args->address);
        const bool done =
            removing ? store->RemoveWebhook(account.id, args->id) : store->ResumeWebhook(account.id, args->id);
        if (!done) throw Failure(args->address + " has no webhook " + std::to_string(args->id));
        std::cout << "webhook " << args->id << " of " << args->address << (removing ? " removed" : " resumed")
                  << std::endl;
        return 0;
      };
    });
  }
}

}  // namespace mailwarden::cli
