// SPDX-License-Identifier: MIT
// What the two back-ends of the storage share: the statements, written once in a form both
// SQLite and PostgreSQL take ($1 is a parameter to both).
#pragma once

namespace hall::sql {

constexpr const char* kIndex = "CREATE INDEX IF NOT EXISTS games_in_order ON games (level_set, score DESC, added, id)";

constexpr const char* kAdd =
    "INSERT INTO games (id, level_set, set_name, score, name, length_us, added, recording)"
    " VALUES ($1, $2, $3, $4, $5, $6, $7, $8) ON CONFLICT (id) DO NOTHING";

constexpr const char* kFind = "SELECT id, level_set, set_name, score, name, length_us, added FROM games WHERE id = $1";

// The order of a level set: the best score first, equal ones in the order they came.
constexpr const char* kPlace =
    "SELECT COUNT(*) + 1 FROM games WHERE level_set = $1 AND"
    " (score > $2 OR (score = $2 AND (added < $3 OR (added = $3 AND id < $4))))";

constexpr const char* kBest =
    "SELECT id, level_set, set_name, score, name, length_us, added FROM games WHERE level_set = $1"
    " ORDER BY score DESC, added, id LIMIT $2";

constexpr const char* kRecording = "SELECT recording FROM games WHERE id = $1";

// The table with the column type of the recording's bytes, which the two name differently.
constexpr const char* kTable =
    "CREATE TABLE IF NOT EXISTS games (id TEXT PRIMARY KEY, level_set TEXT NOT NULL, set_name TEXT NOT NULL,"
    " score INTEGER NOT NULL, name TEXT NOT NULL, length_us BIGINT NOT NULL, added BIGINT NOT NULL,"
    " recording ";

}  // namespace hall::sql
