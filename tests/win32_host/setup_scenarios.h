#pragma once
#include "outlook_process.h"

namespace standin {

// Outlook starting the add-in that the setup program installed, found through
// the registry alone: terms, About, and one message sent "Automatic".
void InstalledSend(const Options& options);
// A program holding the installed Corvix.dll loaded (as a running Outlook
// does) until the file "release" appears in the artifacts folder; "holding"
// appears there once it is loaded.
void HoldAddin(const Options& options);
// The setup program run as a user would: each page looked at, photographed
// and answered, then what it installed.
void SetupPages(const Options& options);
// The uninstaller (options.setup) run as a user would, answering "No" to keeping
// the settings.
void UninstallPages(const Options& options);

}  // namespace standin
