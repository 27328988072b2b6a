#include "echowatch/history_view/where_column.h"

#include "echowatch/history_view/outage_table_model.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

#include <algorithm>

namespace history_view {

namespace {

// The longest class and the colon after it, with the ellipsis a cut text
// ends with.
const QString LongestClass = QStringLiteral("beyond the gateway: \u2026");

class ClassFirstDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideRight;
    }
};

// Sizes the cause column so that the last, stretched, column has room for
// the longest class, once whatever changed the widths has settled.
class WhereWidth final : public QObject
{
public:
    explicit WhereWidth(QTableView &outages) : QObject(&outages), m_outages(outages)
    {
        m_pending.setSingleShot(true);
        m_pending.setInterval(0);
        connect(&m_pending, &QTimer::timeout, this, &WhereWidth::fit);
        QHeaderView *header = outages.horizontalHeader();
        header->setSectionResizeMode(OutageTableModel::CauseColumn, QHeaderView::Interactive);
        connect(header, &QHeaderView::sectionResized, this, [this](int column) {
            if (column != OutageTableModel::CauseColumn && column != OutageTableModel::WhereColumn)
                m_pending.start();
        });
        outages.viewport()->installEventFilter(this);
    }

    // The model's rows change the cause texts, hence their widest.
    void watchModel()
    {
        QAbstractItemModel *model = m_outages.model();
        const auto refit = [this] {
            m_pending.start();
        };
        connect(model, &QAbstractItemModel::rowsInserted, this, refit);
        connect(model, &QAbstractItemModel::rowsRemoved, this, refit);
        connect(model, &QAbstractItemModel::modelReset, this, refit);
        connect(model, &QAbstractItemModel::dataChanged, this, refit);
        m_pending.start();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            m_pending.start();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit()
    {
        QHeaderView *header = m_outages.horizontalHeader();
        constexpr int Cause = OutageTableModel::CauseColumn;
        const int margin = 2 * m_outages.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
        const int whereWants = m_outages.fontMetrics().horizontalAdvance(LongestClass) + margin;
        int others = 0;
        for (int column = 0; column < OutageTableModel::WhereColumn; ++column)
            others += column == Cause ? 0 : header->sectionSize(column);
        // Public on the base, protected on the table.
        const QAbstractItemView &view = m_outages;
        const int causeWants =
            std::max(header->sectionSizeHint(Cause), view.sizeHintForColumn(Cause));
        const int room = m_outages.viewport()->width() - others - whereWants;
        header->resizeSection(Cause,
                              std::clamp(room, header->sectionSizeHint(Cause),
                                         std::max(causeWants, header->sectionSizeHint(Cause))));
    }

    QTableView &m_outages;
    QTimer m_pending;
};

} // namespace

void keepWhereReadable(QTableView &outages)
{
    outages.setItemDelegateForColumn(OutageTableModel::WhereColumn,
                                     new ClassFirstDelegate(&outages));
    auto *width = new WhereWidth(outages);
    width->watchModel();
}

} // namespace history_view
