#include "platform/qt/KVRQtAlerts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

bool KVRQtAlerts::hasInteractiveDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int KVRQtAlerts::showAlert(const std::string& message, const std::vector<std::string>& buttons, int style) {
    if (!hasInteractiveDisplay()) return headless_.showAlert(message, buttons, style);
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Kelvara"));
    box.setText(QString::fromStdString(message));
    box.setIcon(style == Critical ? QMessageBox::Critical
                : style == Informational ? QMessageBox::Information
                                         : QMessageBox::Warning);
    std::vector<QAbstractButton*> added;
    for (const auto& title : buttons) added.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
    if (added.empty()) added.push_back(box.addButton(QMessageBox::Ok));
    box.exec();
    for (size_t i = 0; i < added.size(); ++i) {
        if (box.clickedButton() == added[i]) return static_cast<int>(i);
    }
    return 0;
}

std::optional<std::string> KVRQtAlerts::openFile(const std::vector<std::string>& extensions) {
    if (!hasInteractiveDisplay()) return std::nullopt;
    QStringList patterns;
    for (const auto& e : extensions) patterns << QStringLiteral("*.") + QString::fromStdString(e);
    QString path = QFileDialog::getOpenFileName(nullptr, QString(), QString(),
                                                QStringLiteral("Files (%1)").arg(patterns.join(' ')));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}
