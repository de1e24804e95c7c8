#pragma once

#include "engine/Crosspoints.h"
#include "engine/LoadStatusLogic.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>

namespace velmar {

// The crosspoint status list: rows come from CCrosspointList, which tells the
// model about every change before and after it, so a reply that moves one row
// leaves the view's selection and scroll position alone.
class CCrosspointModel : public QAbstractTableModel, public IRowSignals {
    Q_OBJECT
public:
    CCrosspointModel(CCrosspointList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Column 0's title follows the range filter.
    void refreshHeader();

    void beginReset() override;
    void endReset() override;
    void beginRemove(int row) override;
    void endRemove() override;
    void beginAppend(int row) override;
    void endAppend() override;

private:
    CCrosspointList& m_list;
};

// One side's channel list of the control panel.
class CChannelListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int ChannelRole = Qt::UserRole + 1;
    CChannelListModel(const CCrosspointPanel& panel, int side, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    void reload();

private:
    const CCrosspointPanel& m_panel;
    int m_side;
};

// What the load dialog shows: the file's entries, input and output by name.
class CLoadStatusModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CLoadStatusModel(const CLoadStatusLogic& logic, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const CLoadStatusLogic& m_logic;
};

} // namespace velmar
