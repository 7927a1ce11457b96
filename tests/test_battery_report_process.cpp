// `cellwise --report`: its arguments, and the page as a real browser lays it out and prints it.
#include "LogGenerator.h"
#include "TestSupport.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

struct Outcome {
    int status;
    QByteArray output;
    QString errors;
};

class ReportRun : public ::testing::Test {
protected:
    Outcome run(const QString &program, const QStringList &arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, home.path());
        environment.insert(u"HOME"_s, home.path());
        for (const QString &display : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            environment.remove(display);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
    }
    Outcome report(const QStringList &arguments) const { return run(QStringLiteral(CELLWISE_BINARY), arguments); }

    QTemporaryDir home;
};

// Pixels of a colour the page gives its charts' lines and bars, within a small tolerance.
int pixelsNear(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += std::abs(qRed(pixel) - qRed(colour)) + std::abs(qGreen(pixel) - qGreen(colour))
                         + std::abs(qBlue(pixel) - qBlue(colour))
                     < 24;
        }
    }
    return count;
}

} // namespace

TEST_F(ReportRun, BadArgumentsExitWithStatus2AndOneLine)
{
    for (const QStringList &arguments : {QStringList{u"--report"_s, u"-"_s, u"--days"_s, u"0"_s},
                                         QStringList{u"--report"_s, u"-"_s, u"--days"_s, u"a week"_s}}) {
        const Outcome outcome = report(arguments);
        EXPECT_EQ(outcome.status, 2) << outcome.errors.toStdString();
        EXPECT_TRUE(outcome.errors.contains(u"--days"_s)) << outcome.errors.toStdString();
    }
}

TEST_F(ReportRun, ChromiumShowsTheChartsWithinTheWidthAndPrintsThePage)
{
    const QString chromium = QStandardPaths::findExecutable(u"chromium"_s);
    ASSERT_FALSE(chromium.isEmpty()) << "scripts/install-deps installs chromium";
    ASSERT_TRUE(QDir().mkpath(home.filePath(u"Cellwise"_s)));
    ASSERT_TRUE(
        LogGenerator::generate(home.filePath(u"Cellwise/battLog3.sqlite"_s), {100'000, 2, 1'700'000'000, true}));
    const QString page = home.filePath(u"report.html"_s);
    const Outcome written = report({u"--report"_s, page});
    ASSERT_EQ(written.status, 0) << written.errors.toStdString();
    EXPECT_EQ(report({u"--report"_s, u"-"_s}).output, [&page] {
        QFile file(page);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }());

    // CI runs as root, where chromium needs --no-sandbox.
    const QStringList browser{u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s, u"--hide-scrollbars"_s,
                              u"--force-color-profile=srgb"_s};
    const QString png = home.filePath(u"report.png"_s);
    const QString pdf = home.filePath(u"report.pdf"_s);
    run(chromium, browser + QStringList{u"--window-size=1280,2400"_s, u"--screenshot="_s + png, page});
    run(chromium, browser + QStringList{u"--no-pdf-header-footer"_s, u"--print-to-pdf="_s + pdf, page});

    const QImage image(png);
    ASSERT_EQ(image.width(), 1280);
    // The page is 60 rem wide in the middle: a strip at either side holds nothing but background.
    const QImage right = image.copy(1280 - 120, 0, 120, image.height());
    const QImage left = image.copy(0, 0, 120, image.height());
    const QRgb background = image.pixel(2, 2);
    EXPECT_EQ(pixelsNear(right, background), right.width() * right.height());
    EXPECT_EQ(pixelsNear(left, background), left.width() * left.height());
    EXPECT_LT(pixelsNear(image, background), image.width() * image.height() * 95 / 100) << "a blank page";
    EXPECT_GT(pixelsNear(image, qRgb(0x1f, 0x6f, 0xd1)), 500) << "no capacity line";
    EXPECT_GT(pixelsNear(image, qRgb(0x2e, 0x9d, 0x5b)), 500) << "no usage bars";

    QFile printed(pdf);
    ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
    const QByteArray document = printed.readAll();
    EXPECT_TRUE(document.startsWith("%PDF-"));
    EXPECT_GT(document.size(), 20000);
}
