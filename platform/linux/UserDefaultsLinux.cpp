#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>

#include "Support/Paths.h"
#include "platform/UserDefaults.h"

namespace quillfen {

namespace {

QString qKey(std::string_view key) {
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

class UserDefaultsLinux final : public UserDefaults {
public:
    UserDefaultsLinux()
        : settings_(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" +
                        QString::fromUtf8(Paths::kAppId) + "/Quillfen.conf",
                    QSettings::IniFormat) {}

    std::optional<std::string> string(std::string_view key) const override {
        QVariant value = settings_.value(qKey(key));
        if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
        return value.toString().toStdString();
    }

    // The ini format keeps every value as text, so booleans and integers are read back from
    // their written forms and nothing else.
    std::optional<bool> boolean(std::string_view key) const override {
        QVariant value = settings_.value(qKey(key));
        if (!value.isValid()) return std::nullopt;
        if (value.typeId() == QMetaType::Bool) return value.toBool();
        QString text = value.toString();
        if (text == "true") return true;
        if (text == "false") return false;
        return std::nullopt;
    }

    std::optional<std::int64_t> integer(std::string_view key) const override {
        QVariant value = settings_.value(qKey(key));
        if (!value.isValid()) return std::nullopt;
        bool ok = false;
        qlonglong number = value.toString().toLongLong(&ok);
        if (!ok) return std::nullopt;
        return number;
    }

    void setString(std::string_view key, std::string_view value) override {
        settings_.setValue(qKey(key), QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
        sync();
    }
    void setBoolean(std::string_view key, bool value) override {
        settings_.setValue(qKey(key), value);
        sync();
    }
    void setInteger(std::string_view key, std::int64_t value) override {
        settings_.setValue(qKey(key), static_cast<qlonglong>(value));
        sync();
    }
    void remove(std::string_view key) override {
        settings_.remove(qKey(key));
        sync();
    }

private:
    // The user's choices are theirs alone, like every other file of the application.
    void sync() {
        settings_.sync();
        const QByteArray file = QFile::encodeName(settings_.fileName());
        ::chmod(file.constData(), S_IRUSR | S_IWUSR);
        ::chmod(QFile::encodeName(QFileInfo(settings_.fileName()).absolutePath()).constData(), S_IRWXU);
    }

    mutable QSettings settings_;
};

}  // namespace

std::unique_ptr<UserDefaults> makeUserDefaults() {
    return std::make_unique<UserDefaultsLinux>();
}

}  // namespace quillfen
