// SPDX-License-Identifier: GPL-3.0-or-later
// The progress dialog of long copies and moves.
#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QProgressDialog>

#include "shell/FileOperations.h"

namespace shell {

namespace {

// A copy that ends sooner shows no dialog at all.
constexpr qint64 kShowAfterMs = 500;
// How often the windows are painted and Cancel is looked at.
constexpr qint64 kServiceEveryMs = 30;

class ProgressDialog final : public OperationProgress
{
public:
    void begin(core::FileOperation operation, qint64 totalBytes, int totalFiles) override
    {
        m_moving = operation == core::FileOperation::MoveTo;
        m_totalBytes = totalBytes;
        m_totalFiles = totalFiles;
        m_clock.start();
        m_serviced.start();
    }

    bool advance(qint64 bytesDone, int filesDone, const QString &currentName) override
    {
        if (!m_dialog && m_clock.elapsed() >= kShowAfterMs && filesDone < m_totalFiles) {
            m_dialog = new QProgressDialog(QApplication::activeWindow());
            m_dialog->setObjectName(QStringLiteral("fileProgress"));
            m_dialog->setWindowTitle(m_moving ? QStringLiteral("Moving")
                                              : QStringLiteral("Copying"));
            m_dialog->setWindowModality(Qt::ApplicationModal);
            m_dialog->setAutoClose(false);
            m_dialog->setAutoReset(false);
            m_dialog->setMinimumDuration(0);
            m_dialog->setRange(0, 1000);
            m_dialog->setMinimumWidth(420);
            m_dialog->show();
        }
        if (m_serviced.elapsed() < kServiceEveryMs && filesDone < m_totalFiles)
            return !(m_dialog && m_dialog->wasCanceled());
        m_serviced.restart();
        if (m_dialog) {
            const QLocale locale;
            m_dialog->setLabelText(
                QStringLiteral("%1 %2\n%3 of %4, file %5 of %6")
                    .arg(m_moving ? QStringLiteral("Moving") : QStringLiteral("Copying"),
                         currentName, locale.formattedDataSize(bytesDone),
                         locale.formattedDataSize(m_totalBytes))
                    .arg(std::min(filesDone + 1, m_totalFiles))
                    .arg(m_totalFiles));
            m_dialog->setValue(m_totalBytes > 0 ? int(bytesDone * 1000 / m_totalBytes) : 0);
            // The dialog is modal: only it takes input while the copy runs.
            QCoreApplication::processEvents();
            return !m_dialog || !m_dialog->wasCanceled();
        }
        // Before the dialog shows, the windows are painted but take no input,
        // so that no other command starts in the middle of this one.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    }

    void end() override { delete m_dialog.data(); }

    ~ProgressDialog() override { end(); }

private:
    QPointer<QProgressDialog> m_dialog;
    QElapsedTimer m_clock;
    QElapsedTimer m_serviced;
    qint64 m_totalBytes = 0;
    int m_totalFiles = 0;
    bool m_moving = false;
};

} // namespace

std::unique_ptr<OperationProgress> createProgressDialog()
{
    return std::make_unique<ProgressDialog>();
}

} // namespace shell
