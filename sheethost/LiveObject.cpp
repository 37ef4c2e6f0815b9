#include "sheethost/LiveObject.h"

#include <atomic>

namespace cartulane::sheethost {

namespace {
std::atomic<long> g_live{0};
}

long LiveObjects() { return g_live; }
LiveObject::LiveObject() { ++g_live; }
LiveObject::~LiveObject() { --g_live; }

}  // namespace cartulane::sheethost
