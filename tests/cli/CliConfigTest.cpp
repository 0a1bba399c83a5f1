// `vantrel config`: a package's configuration read and written from the
// command line, into the database the launcher reads.
#include "cli/CliTestSupport.h"

#include "data/PackageConfigurationRepository.h"

namespace vantrel::test {
namespace {

class CliConfigTest : public CliFixture {
protected:
    static ProcessRun config(const QStringList& arguments) { return run(QStringList{"config"} + arguments); }
};

TEST_F(CliConfigTest, SetValuesAreStoredInThePackageConfigurationAndReadBack) {
    const ProcessRun set = config({"set", "windowManagement", "gap", "small"});
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(set.out, QStringLiteral("windowManagement gap \"small\"\n"));
    ASSERT_EQ(config({"set", "windowManagement", "isEnabled", "true"}).exitCode, 0);
    ASSERT_EQ(config({"set", "windowManagement", "disabledCommands", "[\"windowManagementCenter\"]"}).exitCode, 0);

    EXPECT_EQ(config({"get", "windowManagement", "gap"}).out, QStringLiteral("\"small\"\n"));
    EXPECT_EQ(config({"get", "windowManagement", "isEnabled"}).out, QStringLiteral("true\n"));
    EXPECT_EQ(config({"list", "windowManagement"}).out,
              QStringLiteral("isEnabled true\ndisabledCommands [\"windowManagementCenter\"]\ngap \"small\"\n"));

    // The row the launcher reads.
    const auto row =
        PackageConfigurationRepository(openDatabase()).read(QStringLiteral("builtin_package_windowManagement"));
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->isEnabled);
    EXPECT_EQ(row->jsonPayload.value(QStringLiteral("gap")).toString(), QStringLiteral("small"));
    EXPECT_EQ(row->jsonPayload.value(QStringLiteral("disabledCommands")).toArray(),
              QJsonArray{QStringLiteral("windowManagementCenter")});
}

TEST_F(CliConfigTest, ValuesThatAreJsonKeepTheirTypeAndOthersAreText) {
    ASSERT_EQ(config({"set", "snippets", "snippetsDirectPaste", "false"}).exitCode, 0);
    ASSERT_EQ(config({"set", "snippets", "note", "not json {"}).exitCode, 0);
    ASSERT_EQ(config({"set", "snippets", "count", "12"}).exitCode, 0);
    EXPECT_EQ(config({"get", "snippets", "snippetsDirectPaste"}).out, QStringLiteral("false\n"));
    EXPECT_EQ(config({"get", "snippets", "note"}).out, QStringLiteral("\"not json {\"\n"));
    EXPECT_EQ(config({"get", "snippets", "count"}).out, QStringLiteral("12\n"));
}

TEST_F(CliConfigTest, BadRequestsAreRefusedWithTheirReason) {
    const ProcessRun unknownPackage = config({"set", "noSuchPackage", "gap", "small"});
    EXPECT_EQ(unknownPackage.exitCode, 1);
    EXPECT_EQ(unknownPackage.err, QStringLiteral("vantrel: no package has the id 'noSuchPackage'\n"));

    const ProcessRun missingKey = config({"get", "windowManagement", "gap"});
    EXPECT_EQ(missingKey.exitCode, 1);
    EXPECT_EQ(missingKey.err, QStringLiteral("vantrel: 'gap' is not set for windowManagement\n"));

    const ProcessRun notABoolean = config({"set", "windowManagement", "isEnabled", "yes"});
    EXPECT_EQ(notABoolean.exitCode, 2);
    EXPECT_EQ(notABoolean.err, QStringLiteral("vantrel: isEnabled takes true or false\n"));

    for (const QStringList& arguments : {QStringList{}, QStringList{"frob", "windowManagement"},
                                         QStringList{"list"}, QStringList{"get", "windowManagement"},
                                         QStringList{"set", "windowManagement", "gap"},
                                         QStringList{"list", "windowManagement", "extra"}}) {
        const ProcessRun refused = config(arguments);
        EXPECT_EQ(refused.exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(refused.err.startsWith(QStringLiteral("vantrel: config takes list PACKAGE_ID")));
    }
    // Nothing was written by any of them.
    EXPECT_EQ(config({"list", "windowManagement"}).out, QStringLiteral("isEnabled false\n"));
}

}  // namespace
}  // namespace vantrel::test
