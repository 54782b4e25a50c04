// The desktop entry a Quillo run from a build writes for quillo:// links.
#include "App/LinkHandlerRegistration.h"

#include <gtest/gtest.h>

TEST(LinkHandler, AnyFolderABuildIsInReadsBackAsTheSameProgram)
{
    for (const QString& program : {QStringLiteral("/opt/quillo-1.0/bin/quillo"), QStringLiteral("/tmp/my builds/quillo"),
                                   QStringLiteral("/tmp/a\"b$c`d\\e%f/quillo")}) {
        const QByteArray entry = LinkHandlerRegistration::desktopEntry(program);
        EXPECT_EQ(LinkHandlerRegistration::programIn(entry), program) << entry.toStdString();
        EXPECT_TRUE(entry.contains("\nMimeType=x-scheme-handler/quillo;\n"));
        EXPECT_TRUE(entry.contains("\nNoDisplay=true\n"));
    }
    // A plain path stays unquoted: xdg-open's own reading takes no quotes.
    EXPECT_TRUE(LinkHandlerRegistration::desktopEntry(QStringLiteral("/opt/q/quillo")).contains("\nExec=/opt/q/quillo %u\n"));
    // Only the [Desktop Entry] group's Exec counts.
    EXPECT_EQ(LinkHandlerRegistration::programIn("[Desktop Action New]\nExec=/bin/other\n[Desktop Entry]\nExec=quillo %u\n"),
              QStringLiteral("quillo"));
}
