// The base's end of the platform for the tests of the logic above the
// port: every send is taken whole, and an answer can always go out.
#include "tests/fake_platform.h"

void sendToBase(const char* bytes, std::size_t count) {
    fake::platform.sentToBase.emplace_back(bytes, count);
    fake::note("send", fake::platform.sentToBase.back());
}

bool answerCanBeSent() {
    return true;
}
