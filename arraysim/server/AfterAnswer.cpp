#include "arraysim/server/AfterAnswer.h"

namespace arraysim {
namespace {

thread_local AfterAnswer noted = AfterAnswer::KeepOpen;

}  // namespace

void setAfterAnswer(AfterAnswer fate) {
    if (static_cast<int>(fate) > static_cast<int>(noted)) noted = fate;
}

AfterAnswer takeAfterAnswer() {
    const AfterAnswer fate = noted;
    noted = AfterAnswer::KeepOpen;
    return fate;
}

}  // namespace arraysim
