#pragma once

#include <QString>

#include <memory>

// The shared location of a message: its coordinates and the address the source names
// for it. Most messages carry none, and a load keeps hundreds of thousands of them, so
// the three values take the room of one pointer until one of them is set.
class RareLocation
{
public:
    RareLocation() = default;
    RareLocation(const RareLocation& other)
        : m_place(other.m_place ? std::make_unique<Place>(*other.m_place) : nullptr)
    {}
    RareLocation(RareLocation&&) noexcept = default;
    RareLocation& operator=(const RareLocation& other)
    {
        if (this != &other)
            m_place = other.m_place ? std::make_unique<Place>(*other.m_place) : nullptr;
        return *this;
    }
    RareLocation& operator=(RareLocation&&) noexcept = default;
    ~RareLocation() = default;

    double latitude() const { return m_place ? m_place->latitude : 0; }
    double longitude() const { return m_place ? m_place->longitude : 0; }
    QString address() const { return m_place ? m_place->address : QString(); }
    // Nothing set: no coordinate and no address.
    bool isEmpty() const { return !m_place; }

    void setLatitude(double latitude)
    {
        if (latitude != 0 || m_place)
            place().latitude = latitude;
        dropWhenEmpty();
    }
    void setLongitude(double longitude)
    {
        if (longitude != 0 || m_place)
            place().longitude = longitude;
        dropWhenEmpty();
    }
    void setAddress(const QString& address)
    {
        if (!address.isEmpty() || m_place)
            place().address = address;
        dropWhenEmpty();
    }

private:
    struct Place
    {
        double latitude = 0;
        double longitude = 0;
        QString address;
    };

    Place& place()
    {
        if (!m_place)
            m_place = std::make_unique<Place>();
        return *m_place;
    }
    // A location set back to nothing gives its memory back.
    void dropWhenEmpty()
    {
        if (m_place && m_place->latitude == 0 && m_place->longitude == 0 && m_place->address.isEmpty())
            m_place.reset();
    }

    std::unique_ptr<Place> m_place;
};
