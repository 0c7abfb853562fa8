#pragma once
// Makes the stand-in Redemption reachable as the real library is: its three
// ProgIDs under HKLM\Software\Classes and a class object for each CLSID,
// registered in this process for the add-in's CoCreateInstance.
#include <memory>
#include <vector>

#include "host/sim/redemption.h"
#include "host_object.h"

namespace standin {

class RedemptionClasses {
 public:
  explicit RedemptionClasses(std::shared_ptr<host::sim::SimRedemption> redemption);
  RedemptionClasses(const RedemptionClasses&) = delete;
  RedemptionClasses& operator=(const RedemptionClasses&) = delete;
  // Revokes the class objects; the ProgIDs stay for the next run.
  ~RedemptionClasses();

 private:
  std::vector<DWORD> cookies_;
};

// The library as not installed: the ProgIDs are gone.
void RemoveRedemptionRegistration();

}  // namespace standin
