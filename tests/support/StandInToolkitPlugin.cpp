#include <QObject>
#include <QtPlugin>

namespace quillfen::test {

// A plugin that the toolkit finds by name where it looks for a platform theme (built once as
// that) or a widget style (once as that), and that does nothing: whether the toolkit tried it is
// whether a process has it among its mapped files. It answers to the names of the themes a desktop
// session makes the toolkit try, KDE's ("kde", as Plasma's own plugin does) and the GTK one
// ("gtk3"), and to a name of its own that nothing else has.
class StandInToolkitPlugin : public QObject {
    Q_OBJECT
#ifdef QUILLFEN_STAND_IN_STYLE
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QStyleFactoryInterface" FILE "StandInToolkitPlugin.json")
#else
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformThemeFactoryInterface.5.1" FILE
                          "StandInToolkitPlugin.json")
#endif
};

}  // namespace quillfen::test

#include "StandInToolkitPlugin.moc"
