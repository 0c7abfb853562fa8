#include "service/instance.h"

namespace mailwarden {

ServeOptions LoopbackOptions(int newSenderCredit) {
  ServeOptions options;
  options.database = "sqlite::memory:";
  options.service.newSenderCredit = newSenderCredit;
  options.service.statusPages = true;
  options.server.host = "127.0.0.1";
  options.server.port = 0;
  options.server.workers = 4;
  options.logFd = -1;
  return options;
}

Instance::Instance(ServeOptions options) {
  options.server.maxBody = options.service.maxUpload;
  options.service.adminListener = options.admin.has_value();
  store_ = store::OpenStore(options.database);
  service_ = std::make_unique<Service>(*store_, options.service, options.logFd);
  options.server.acceptFailed = [&metrics = service_->Metrics()] { metrics.CountAcceptFailure(); };
  server_ = std::make_unique<http::Server>(service_->Router(), options.server, service_->Observer());
  if (options.admin) adminServer_ = std::make_unique<http::Server>(service_->AdminRouter(), *options.admin, nullptr);
}

Instance::~Instance() {
  Stop();
}

void Instance::Start() {
  server_->Start();
  if (adminServer_) adminServer_->Start();
}

void Instance::Stop() {
  server_->Stop();
  if (adminServer_) adminServer_->Stop();
  service_->Flush();
}

}  // namespace mailwarden
