// Commands from the menus: which product a schedule command edits, and the
// identifiers that must do nothing.
#include "tests/support/AgentFixture.h"
#include "tests/support/SameSequence.h"
#include "app/resource.h"

namespace {

// After an edit, the search for the earliest time over a list of H down to A.
const std::vector<std::string> kFreshSearch = {"GetNextTime ",  "GetNextTime H", "GetNextTime G",
                                               "GetNextTime F", "GetNextTime E", "GetNextTime D",
                                               "GetNextTime C", "GetNextTime B", "GetNextTime A"};

} // namespace

TEST_F(AgentTest, ProductCommandsCountFromTheHeadOfAFreshListAndOthersDoNothing)
{
    // Enumerated A to H, so the list runs H, G, F, ... A.
    RegisterProducts({"A", "B", "C", "D", "E", "F", "G", "H"});
    ASSERT_TRUE(agent.Start());
    // Only six products are reachable: items further up edit nothing.
    const struct { UINT id; const char* edits; } cases[] = {   // edits null: nothing is called
        {416, "H"}, {432, "G"}, {496, "C"}, {401, "H"}, {ID_SCHEDULE_DEFAULT, ""}, {512, nullptr}, {528, nullptr},
        {500, nullptr}, {IDOK, nullptr}, {IDCANCEL, nullptr}, {0, nullptr}, {399, nullptr}, {5000, nullptr}};
    for (const auto& c : cases) {
        ForgetCalls();
        agent.Command(c.id);
        agent.Pump();
        std::vector<std::string> expected;
        if (c.edits) {
            expected = kFreshSearch;
            expected.insert(expected.begin(), std::string("EditSchedule ") + c.edits);
        }
        EXPECT_TRUE(SameSequence(expected, Calls())) << c.id;
    }
    EXPECT_TRUE(::IsWindow(agent.m_hWnd));
    EXPECT_TRUE(agent.m_bActive);

    // Past the end of a shorter list, or of none, nothing either.
    for (const auto& [products, id] : {std::make_pair(std::vector<std::string>{"A", "B", "C"}, 464u), {{}, 416u}}) {
        DeleteProductKey();
        RegisterProducts(products);
        ForgetCalls();
        EXPECT_FALSE(agent.ScheduleProduct(id)) << products.size() << " products";
        EXPECT_TRUE(Calls().empty());
    }
}
