#include "toolkit/DragDrop.h"

#include <QAbstractScrollArea>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

#include "toolkit/Control.h"
#include "toolkit/Handler.h"
#include "toolkit/Text.h"

namespace {

constexpr char kInternalFormat[] = "application/x-tarnwick-drag";

// The control the running drag of this program started on. A drag is one at
// a time; a control destroyed meanwhile is noticed through its widget.
TControl* gDragSource = nullptr;
QPointer<QWidget> gDragWidget;

std::vector<std::string> LocalPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.push_back(FromQString(url.toLocalFile()));
    return paths;
}

TControl* SourceOf(const QMimeData* data) {
    if (!data->hasFormat(kInternalFormat) || gDragWidget.isNull()) return nullptr;
    return gDragSource;
}

class DropFilter : public QObject {
public:
    DropFilter(TControl* control, TDropFilesEvent onFiles, TDragDropEvent onDragDrop, QObject* parent)
        : QObject(parent), Control(control), OnFiles(std::move(onFiles)), OnDragDrop(std::move(onDragDrop)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDropEvent*>(event);
                if (!Takes(drag->mimeData())) return false;
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const QMimeData* data = drop->mimeData();
                if (!Takes(data)) return false;
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
                if (TControl* source = SourceOf(data); source != nullptr && OnDragDrop)
                    RunHandler([&] { OnDragDrop(Control, source); });
                else if (OnFiles)
                    RunHandler([&, paths = LocalPaths(data)] { OnFiles(Control, paths); });
                return true;
            }
            default: return false;
        }
    }

private:
    bool Takes(const QMimeData* data) const {
        if (SourceOf(data) != nullptr) return static_cast<bool>(OnDragDrop) && SourceOf(data) != Control;
        return OnFiles && !LocalPaths(data).empty();
    }

    TControl* Control;
    TDropFilesEvent OnFiles;
    TDragDropEvent OnDragDrop;
};

}  // namespace

void AcceptDrops(TControl* control, TDropFilesEvent onFiles, TDragDropEvent onDragDrop) {
    QWidget* widget = control->Widget();
    widget->setAcceptDrops(true);
    auto* area = qobject_cast<QAbstractScrollArea*>(widget);
    QWidget* target = area != nullptr ? area->viewport() : widget;
    target->setAcceptDrops(true);
    target->installEventFilter(new DropFilter(control, std::move(onFiles), std::move(onDragDrop), widget));
}

QMimeData* InternalDragData(TControl* source) {
    gDragSource = source;
    gDragWidget = source->Widget();
    auto* data = new QMimeData;
    data->setData(kInternalFormat, QByteArray(source->Name.c_str()));
    return data;
}
