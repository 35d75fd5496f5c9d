#include <gtest/gtest.h>

#include "common/ProcessSingleton.h"

namespace {

struct CCounted {
    int ended = 0;
};

CCounted* Counted() {
    return CProcessSingletons::Get<CCounted>([] { return new CCounted(); }, [](CCounted* c) { ++c->ended; });
}

struct CPlain {
    int value = 7;
};

CPlain* Plain() { return CProcessSingletons::Get<CPlain>([] { return new CPlain(); }); }

TEST(ProcessSingletons, OneInstanceUntilTheProcessEndsThenAFreshOne) {
    CCounted* first = Counted();
    EXPECT_EQ(Counted(), first);
    Plain()->value = 8;

    CProcessSingletons::EndAll();
    EXPECT_EQ(first->ended, 1) << "the ended instance stays readable";
    CCounted* second = Counted();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->ended, 0);
    EXPECT_EQ(Plain()->value, 7);

    // Ending again ends only what the new process made, each once.
    CProcessSingletons::EndAll();
    CProcessSingletons::EndAll();
    EXPECT_EQ(first->ended, 1);
    EXPECT_EQ(second->ended, 1);
}

}  // namespace
