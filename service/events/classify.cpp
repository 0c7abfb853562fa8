#include "service/events/classify.h"

namespace mailwarden::events {

store::EventClass Classify(const store::StampInfo&, const http::Request&, store::Time) {
  return store::EventClass::kPerson;
}

}  // namespace mailwarden::events
