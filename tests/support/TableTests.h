#pragma once

// Table-driven tests: a row type with a `name` member (a sentence-style
// CamelCase name) and INSTANTIATE_TEST_SUITE_P(..., ::testing::ValuesIn(rows),
// vantrel::test::RowName()) give each row its own named case.

#include <gtest/gtest.h>

#include <string>

namespace vantrel::test {

struct RowName {
    template <typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
        return std::string(row.param.name);
    }
};

}  // namespace vantrel::test
