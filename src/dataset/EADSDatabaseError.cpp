#include "dataset/EADSDatabaseError.h"

#include <QObject>
#include <utility>

#include "dataset/ComponentNames.h"
#include "engine/api/EngineApi.h"
#include "engine/util/LastError.h"

EADSDatabaseError::EADSDatabaseError(uint32_t ace_error_code, std::string message, Place place,
                                     int32_t sql_error_code)
    : Exception(std::move(message)),
      ace_error_code_(ace_error_code),
      sql_error_code_(sql_error_code),
      place_(std::move(place)) {}

std::string EADSDatabaseError::SQLErrorCode() const {
  return std::to_string(static_cast<uint32_t>(sql_error_code_));
}

EADSDatabaseError::Place AdsErrorPlace(const QObject* component, const std::string& table,
                                       const std::string& column) {
  EADSDatabaseError::Place place;
  place.TableName = table;
  place.ColumnName = column;
  if (component) {
    place.ComponentName = ComponentName(*component);
    if (const QObject* owner = component->parent()) place.OwnerName = ComponentName(*owner);
  }
  return place;
}

void RaiseAdsError(const engine::Status& status, const EADSDatabaseError::Place& place) {
  engine::NoteError(status).PermitUncheckedError();
  RaiseAdsCode(static_cast<uint32_t>(status.Code()), place);
}

void RaiseAdsCode(uint32_t code, const EADSDatabaseError::Place& place) {
  uint32_t last_code = 0;
  std::string message;
  engine::AdsGetLastError(&last_code, &message);
  if (last_code != code) {
    // The engine answered a code without noting it: its last error belongs
    // to an earlier call and says nothing about this one.
    message = "The engine answered error " + std::to_string(code);
  }
  throw EADSDatabaseError(code, std::move(message), place);
}
