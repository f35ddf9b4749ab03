// The suite's entry point on both sides.
#include "contract.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> served = contract::ServeIfAsked(argc, argv)) return *served;
    ::testing::InitGoogleTest(&argc, argv);
    contract::AddSummaryPrinter();
    return RUN_ALL_TESTS();
}
