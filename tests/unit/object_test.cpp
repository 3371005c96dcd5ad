#include "platform/object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory_block.h"

namespace tintcheck {
namespace {

std::vector<std::string> gEvents;

class Base : public Object {
public:
    ~Base() override { gEvents.push_back("~Base"); }
    void Destructor() override { Leave(); }
    virtual void Leave() { gEvents.push_back("Base::Leave"); }
};

class Derived : public Base {
public:
    ~Derived() override { gEvents.push_back("~Derived"); }
    void Leave() override { gEvents.push_back("Derived::Leave"); }
};

TEST(Object, DestructorRunsOnTheWholeObjectWhenTheLastReferenceGoes) {
    gEvents.clear();
    Ref<Base> first = New<Derived>();
    Ref<Base> second = first;
    first.Release();
    EXPECT_TRUE(gEvents.empty());
    second.Release();
    EXPECT_EQ(gEvents, (std::vector<std::string>{"Derived::Leave", "~Derived", "~Base"}));
}

TEST(Object, CallThroughNilReferenceRaisesNilObjectException) {
    Ref<Base> nothing;
    try {
        nothing->Leave();
        FAIL() << "no exception";
    } catch (const NilObjectException& error) {
        EXPECT_STREQ(error.ClassName(), "NilObjectException");
        EXPECT_EQ(error.ErrorNumber, 0);
    }
}

TEST(Exceptions, NameTheirClass) {
    EXPECT_STREQ(RuntimeException("x").ClassName(), "RuntimeException");
    EXPECT_STREQ(EndException().ClassName(), "EndException");
    EXPECT_STREQ(ThreadEndException().ClassName(), "ThreadEndException");
    const RuntimeException& asBase = NilObjectException();
    EXPECT_STREQ(asBase.ClassName(), "NilObjectException");
}

TEST(MemoryBlock, ReadsAndWritesBothByteOrders) {
    MemoryBlock block(8);
    block.LittleEndian = false;
    block.SetLong(0, -101);
    EXPECT_EQ(block.StringValue(0, 4), std::string("\xFF\xFF\xFF\x9B", 4));
    EXPECT_EQ(block.Long(0), -101);
    block.LittleEndian = true;
    block.SetLong(4, 0x01020304);
    EXPECT_EQ(block.StringValue(4, 4), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(block.Long(4), 0x01020304);
    EXPECT_THROW(block.Long(5), OutOfBoundsException);
}

}  // namespace
}  // namespace tintcheck
