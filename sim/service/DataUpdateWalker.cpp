#include "sim/service/DataUpdateWalker.h"

#include <bit>
#include <cmath>
#include <cstdlib>

#include "core/ZarnPSegmentationProperty.h"
#include "store/dataupdate/FlatBuffersUtil.h"

namespace zarn::sim {

namespace fb = com::zarnkit::velto::dataupdate::fb;

namespace {

class Walker {
  public:
    DataUpdateWalk out;

    void fold(uint64_t v) { out.checksum = out.checksum * 1099511628211ull ^ v; }
    void fold(float f) { fold(static_cast<uint64_t>(std::bit_cast<uint32_t>(f))); }

    std::optional<std::string> text(const flatbuffers::String* s) {
        auto read = FlatBuffersUtil::readString(s);
        if (read) {
            // The reading rule: present text is never empty and always UTF-8.
            if (read->empty() || !FlatBuffersUtil::isValidUtf8(*read))
                std::abort();
            ++out.stringsRead;
            fold(static_cast<uint64_t>(read->size()));
        } else if (s) {
            ++out.stringsRefused;
        }
        return read;
    }

    template <typename T>
    void keyValues(const flatbuffers::Vector<flatbuffers::Offset<T>>* items) {
        if (!items)
            return;
        for (const T* item : *items) {
            text(item->key());
            text(item->value());
        }
    }

    void notification(const fb::NotificationDTO& n) {
        ++out.notifications;
        fold(static_cast<uint64_t>(n.temporaryCampaignId()));
        text(n.geofenceId());
        text(n.label());
        text(n.beaconUuid());
        fold(static_cast<uint64_t>(n.beaconMajorId()));
        fold(static_cast<uint64_t>(n.beaconMinorId()));
        if (const auto* location = FlatBuffersUtil::readLocation(n)) {
            if (!std::isfinite(location->latitude()) || !std::isfinite(location->longitude()))
                std::abort();
            ++out.locations;
            fold(location->latitude());
            fold(location->longitude());
        }
        fold(static_cast<uint64_t>(n.matchRange()));
        fold(static_cast<uint64_t>(FlatBuffersUtil::isFieldPresent(n, fb::NotificationDTO::VT_MATCHRANGE)));
        if (const auto* h = n.openingHours()) {
            for (uint32_t day : {h->monday(), h->tuesday(), h->wednesday(), h->thursday(), h->friday(),
                                 h->saturday(), h->sunday()})
                fold(static_cast<uint64_t>(day));
        }
        keyValues(n.customRegionFields());
        if (const auto* circles = n.circlesList()) {
            for (const fb::CircleDTO* c : *circles) {
                if (FlatBuffersUtil::isFinite(*c))
                    ++out.circles;
                fold(c->centerLatitude());
                fold(c->centerLongitude());
                fold(c->radius());
            }
        }
        keyValues(n.triggerProperties());
    }

    void campaign(const fb::CampaignDTO& c) {
        ++out.campaigns;
        fold(static_cast<uint64_t>(c.temporaryId()));
        text(c.campaignId());
        text(c.message());
        text(c.data());
        fold(static_cast<uint64_t>(c.handlerType()));
        fold(static_cast<uint64_t>(c.triggerOnExit()));
        fold(static_cast<uint64_t>(c.ignoreAppCooldown()));
        fold(static_cast<uint64_t>(c.dwellingMinutes()));
        text(c.experimentId());
        fold(static_cast<uint64_t>(c.experimentMessageId()));
        fold(static_cast<uint64_t>(c.campaignStartTimestamp()));
        fold(static_cast<uint64_t>(c.campaignEndTimestamp()));
        if (const auto* rules = c.segmentationProperties()) {
            for (const fb::SegmentationPropertyDTO* r : *rules) {
                ++out.rules;
                auto key = text(r->key());
                auto value = text(r->value());
                auto type = static_cast<uint32_t>(r->propertyType());
                // The entity converts the rule's text by its type, as the stored rule is read back.
                ZarnPSegmentationProperty property(
                    key.value_or(""), value, static_cast<uint32_t>(r->operator_()), type,
                    r->interval() == -1 ? std::nullopt : std::optional(r->interval()),
                    r->occurrences() == -1 ? std::nullopt : std::optional(r->occurrences()));
                fold(static_cast<uint64_t>(property.value().index()));
                fold(static_cast<uint64_t>(property.keyWithTypePrefix().has_value()));
            }
        }
        if (const auto* spans = c.timeSpans()) {
            for (const fb::TimeSpanDTO* s : *spans) {
                ++out.timeSpans;
                fold(static_cast<uint64_t>(s->startTimestamp()));
                fold(static_cast<uint64_t>(s->endTimestamp()));
            }
        }
    }

    void update(const fb::DataUpdateResponseDTO& u) {
        fold(static_cast<uint64_t>(u.isQuickSyncUpdate()));
        fold(static_cast<uint64_t>(u.deleteAllOldData()));
        fold(static_cast<uint64_t>(u.deletePreviousServerSideSegmentationProperties()));
        if (const auto* tiles = u.updatedGeohashes()) {
            for (const fb::GeohashDTO* t : *tiles) {
                ++out.tiles;
                text(t->value());
                fold(static_cast<uint64_t>(t->lastVersion()));
                if (const auto* notifications = t->changedNotifications())
                    for (const fb::NotificationDTO* n : *notifications) notification(*n);
            }
        }
        if (const auto* deletions = u.deletedNotifications()) {
            for (const fb::CompleteNotificationIdDTO* d : *deletions) {
                ++out.deletions;
                text(d->campaignId());
                text(d->geofenceId());
            }
        }
        if (const auto* campaigns = u.campaigns())
            for (const fb::CampaignDTO* c : *campaigns) campaign(*c);
        if (const auto* groups = u.cooldownGroups()) {
            for (const fb::CooldownGroupDTO* g : *groups) {
                ++out.cooldownGroups;
                text(g->id());
                fold(static_cast<uint64_t>(g->value()));
            }
        }
        if (const auto* values = u.serverSideSegmentationProperties()) {
            for (const fb::ServerSideSegmentationPropertyDTO* v : *values) {
                ++out.serverValues;
                text(v->key());
                text(v->value());
            }
        }
    }
};

}  // namespace

DataUpdateWalk DataUpdateWalker::walk(const fb::DataUpdateResponseDTO& update) {
    Walker walker;
    walker.update(update);
    return walker.out;
}

}  // namespace zarn::sim
