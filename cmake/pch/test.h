// The product headers plus the test framework, for the test programs.
#include "product.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
