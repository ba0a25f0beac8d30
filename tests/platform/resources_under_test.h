#pragma once

// The resources of the test program itself, through the backend under test.

#include <memory>

#include "platform/resources.h"

namespace corvane {

std::unique_ptr<Resources> MakeResourcesUnderTest();

}  // namespace corvane
