// Test programs start like the installer: the application object initialised first.
#include <gtest/gtest.h>

#include "Forms.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    platform::Application.Initialize();
    platform::Application.SetTitle("Drovanel tests");
    return RUN_ALL_TESTS();
}
