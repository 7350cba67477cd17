#include "clipboardexport.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// The toolkit's clipboard, for window systems that keep its contents after the program ends
// (Windows, macOS, Wayland compositors), as long as the program ends through the normal exit.
class ToolkitClipboardExport final : public ClipboardExport
{
public:
    QString clearAndPut(const QString &text) override
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
        if (clipboard->text() != text)
            return u"the clipboard did not take the text."_s;
        return {};
    }

    void endProgram() override { QCoreApplication::quit(); }
};

#ifdef Q_OS_LINUX
// The helper executable, beside the program or in the libexec folder of an installation.
QString helperPath()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         {programFolder.filePath(u"vellumtide-clipboard"_s),
          programFolder.filePath(u"../libexec/vellumtide/vellumtide-clipboard"_s)}) {
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    }
    return {};
}

// On X11 the text must outlive the program: the helper takes the clipboard and serves it.
class X11HelperClipboardExport final : public ClipboardExport
{
public:
    QString clearAndPut(const QString &text) override
    {
        const QString helper = helperPath();
        if (helper.isEmpty())
            return u"its helper, vellumtide-clipboard, is missing beside the program."_s;

        // The helper takes the clipboard within a few round trips to the X server; a helper
        // that has not answered by then is stuck, and the program must still end at once.
        constexpr int AnswerTimeoutMs = 900;
        QProcess process;
        process.setProgram(helper);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QIODevice::ReadWrite);
        if (!process.waitForStarted(AnswerTimeoutMs))
            return u"its helper could not be started (%1)."_s.arg(process.errorString());
        process.write(text.toUtf8());
        process.closeWriteChannel();
        if (!process.waitForFinished(AnswerTimeoutMs)) {
            process.kill();
            process.waitForFinished(100);
            return u"its helper did not answer in time."_s;
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            const QString reason = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
            return reason.isEmpty() ? u"its helper failed."_s : reason + u'.';
        }
        return {};
    }

    // Nothing is left to hand over: the helper owns the clipboard now. Ending through the
    // toolkit's exit would have it offer its own clipboard to a clipboard manager, and wait.
    void endProgram() override { std::_Exit(0); }
};
#endif

} // namespace

std::unique_ptr<ClipboardExport> makeSystemClipboardExport()
{
#ifdef Q_OS_LINUX
    if (QGuiApplication::platformName() == u"xcb")
        return std::make_unique<X11HelperClipboardExport>();
#endif
    return std::make_unique<ToolkitClipboardExport>();
}
