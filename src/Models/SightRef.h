#pragma once

#include "Models/ClickSight.h"

#include <QExplicitlySharedDataPointer>
#include <QSharedData>

// A press's ClickSight, or none. Shared between copies and never changed, so that a
// press stays one pointer larger however large its picture; copies compare by content.
class SightRef
{
public:
    SightRef() = default;
    explicit SightRef(ClickSight sight) : m_data(new Data(std::move(sight))) {}

    const ClickSight* get() const { return m_data ? &m_data->sight : nullptr; }
    const ClickSight* operator->() const { return get(); }
    explicit operator bool() const { return bool(m_data); }

    bool operator==(const SightRef& other) const
    {
        if (m_data == other.m_data)
            return true;
        return m_data && other.m_data && m_data->sight == other.m_data->sight;
    }

private:
    struct Data : QSharedData {
        explicit Data(ClickSight s) : sight(std::move(s)) {}
        ClickSight sight;
    };
    QExplicitlySharedDataPointer<const Data> m_data;
};
