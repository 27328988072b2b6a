#include "frame_decoration.h"

#include <QtWaylandClient/private/qwaylanddecorationplugin_p.h>

namespace decoration {

// Qt finds it by the key in its metadata, the name the program asks for.
class FrameDecorationPlugin : public QtWaylandClient::QWaylandDecorationPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QWaylandDecorationFactoryInterface_iid FILE "frame_decoration.json")

public:
    QtWaylandClient::QWaylandAbstractDecoration *create(const QString &,
                                                        const QStringList &) override
    {
        return new FrameDecoration;
    }
};

} // namespace decoration

#include "frame_decoration_plugin.moc"
