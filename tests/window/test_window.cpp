#include "test_window.h"

#include <QAbstractItemModel>
#include <QListView>

int TestWindow::logLines() const
{
    return window.List1->model()->rowCount();
}

QString TestWindow::logLine(int row) const
{
    const QAbstractItemModel *model = window.List1->model();
    return model->data(model->index(row, 0)).toString();
}
