#pragma once
// A loopback server, the stand-in windowing and a transfer control made by the
// curl Internet, with the states each control reported.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/sim/transfer.h"
#include "host/sim/windowing.h"
#include "support/loopback_server.h"

namespace simnet {

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() : transfer(internet.CreateTransfer()) {
    events = transfer->OnStateChanged([this](std::int16_t state) {
      states.push_back(state);
      onPumpThread = onPumpThread && std::this_thread::get_id() == testThread;
      executingAtEvent.push_back(transfer->StillExecuting());
    });
  }

  // What the add-in's wait does: sleep until something arrives, run it, look again.
  void WaitUntilDone() {
    while (transfer->StillExecuting()) {
      windowing.WaitForEvent();
      windowing.DoEvents();
    }
  }

  // The whole received reply, read in pieces.
  std::string ReadAll(std::int32_t size = 1024) {
    std::string all;
    for (std::string chunk = transfer->GetChunk(size); !chunk.empty(); chunk = transfer->GetChunk(size)) {
      EXPECT_LE(chunk.size(), static_cast<std::size_t>(size));
      all += chunk;
    }
    return all;
  }

  static std::string Pattern(std::size_t size) {
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; text.size() < size; ++i) text += std::to_string(i) + (i % 17 ? " " : "\r\n");
    text.resize(size);
    return text;
  }

  testsupport::LoopbackServer server;
  host::sim::SimWindowing windowing;
  host::sim::CurlInternet internet{windowing};
  std::shared_ptr<host::Transfer> transfer;
  host::Subscription events;
  std::vector<std::int16_t> states;
  std::vector<bool> executingAtEvent;
  const std::thread::id testThread = std::this_thread::get_id();
  bool onPumpThread = true;
};

}  // namespace simnet
