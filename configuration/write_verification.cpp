#include "write_verification.h"

QList<unconfirmed_write> unconfirmed_writes(const parameter_value_store& store,
                                            const tracker_commands::reply& reply)
{
    QList<unconfirmed_write> mismatches;
    const command_values* record = store.find(reply.key);
    if (!record || !reply.carries_values() || reply.refused != tracker_commands::refusal::none) {
        return mismatches;
    }
    for (const value_slot& slot : record->value_slots) {
        if (slot.awaiting && reply.value(slot.index) != slot.value) {
            mismatches.append({reply.key, slot.index, slot.value, reply.value(slot.index)});
        }
    }
    return mismatches;
}
