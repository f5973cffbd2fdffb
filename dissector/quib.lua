-- quib.lua: the Quib-Server protocol in Wireshark 3.6 and later, for a plugin folder
-- (~/.local/lib/wireshark/plugins, %APPDATA%\Wireshark\plugins) or tshark -X lua_script:quib.lua.
--
-- A client meets the server on one TCP port (6900) in three roles, a new connection each: login,
-- character server, map server. Integers are little-endian, the 16-bit packet id is at offset 0,
-- and a variable-length packet carries its total length at offset 2. Login and character packets
-- have fixed lengths; map packets take id, length and field positions from packet_db.txt for the
-- connection's packet version, told from the id and size of its map login. Packets are framed as
-- the server frames them: it empties its buffer at an id it does not know, and closes the
-- connection after a login request and a character select.

local quib = Proto("quib", "Quib-Server protocol")

local F, E, fields, experts = {}, {}, {}, {}
for _, f in ipairs({{"id", "uint16", "Packet id", base.HEX}, {"name", "string", "Name"},
    {"length", "uint16", "Length"}, {"account_id", "uint32", "Account id"},
    {"character_id", "uint32", "Character id"}, {"slot", "uint8", "Slot"}, {"map", "string", "Map"},
    {"x", "uint16", "X"}, {"y", "uint16", "Y"}, {"text", "string", "Text"},
    {"address", "ipv4", "Address"}, {"port", "uint16", "Port"},
    {"version", "uint32", "Packet version"}, {"tick", "uint32", "Map tick"},
    {"count", "uint32", "Count"}, {"emotion", "uint8", "Emotion"}, {"value", "uint32", "Value"},
    {"bytes", "bytes", "Bytes"}}) do
  F[f[1]] = ProtoField[f[2]]("quib." .. f[1], f[3], f[4])
  fields[#fields + 1] = F[f[1]]
end
for _, e in ipairs({{"unknown", "Unknown packet", "UNDECODED", "WARN"},
    {"dropped", "Dropped by the server", "SEQUENCE", "NOTE"},
    {"no_version", "Packet version not told", "PROTOCOL", "WARN"},
    {"no_database", "packet_db.txt not read", "PROTOCOL", "WARN"}}) do
  E[e[1]] = ProtoExpert.new("quib." .. e[1], e[2], expert.group[e[3]], expert.severity[e[4]])
  experts[#experts + 1] = E[e[1]]
end
quib.fields, quib.experts = fields, experts

quib.prefs.port = Pref.uint("TCP port", 6900, "The server's port (another one: Decode As...)")
quib.prefs.packet_db = Pref.string("packet_db.txt", "", "The packet database to read. Empty: " ..
  "the one beside the installed server, else the one its sources ship")

-- packet_db.txt, read by the server's rules: "packet_ver: N" starts section N as a copy of N - 1;
-- "id,length,name,p0:p1:..." sets one of the nine named packets of the section. The working entry
-- is never cleared: position slots a line does not list keep what earlier lines left there.
local MEMBERS = {wanttoconnection = true, loadendack = true, ticksend = true, globalmessage = true,
  emotion = true, sndoridori = true, walktoxy = true, howmanyconnections = true, restart = true}
local SATURATED = 2 ^ 40  -- digits past it saturate instead of growing without end

local function clamp(value, low, high) return math.max(low, math.min(high, value)) end
local function trim(text) return text:match("^ *(.-) *$") end
local function copy(t)
  local c = {}
  for k, v in pairs(t) do c[k] = type(v) == "table" and copy(v) or v end
  return c
end

-- Blanks are ignored. Decimal: a sign, digits and a fraction that rounds half to even;
-- hexadecimal (after "0x"): unsigned digits. Reading stops at the first other character.
local function read_number(field, base)
  local text = field:gsub("[ \t]", "")
  local sign, digits, fraction = text:match("^([+-]?)(%d*)%.?(%d*)")
  if base == 16 then sign, digits, fraction = "", text:match("^%x*"), "" end
  local m = 0
  for digit in digits:gmatch(".") do m = math.min(m * base + tonumber(digit, 16), SATURATED) end
  local first, beyond = tonumber(fraction:sub(1, 1)) or 0, fraction:find("[1-9]", 2) ~= nil
  if first > 5 or (first == 5 and (beyond or m % 2 == 1)) then m = math.min(m + 1, SATURATED) end
  return sign == "-" and -m or m
end

-- At most `most` fields; a separator at the very end leaves no empty last field.
local function split(text, separator, most)
  local fields, start = {}, 1
  while #fields < most and start <= #text do
    local at = text:find(separator, start, true) or #text + 1
    fields[#fields + 1], start = text:sub(start, at - 1), at + 1
  end
  return fields
end

-- [N] = {member = {id, len, pos = {ten offsets}}}; count = N + 1 of the last header (0: none).
local function read_packet_db(text)
  local versions, count, current = {}, 0, 0
  local working = {id = 0, len = 0, pos = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}
  for line in (text .. "\n"):gmatch("([^\n]*)\n") do
    line = trim(line:gsub("\r", ""))
    local colon = line:find(":", 1, true)
    if line:sub(1, 2) == "//" then line = "" end  -- a comment, "packet_ver:" or not
    if line:find("packet_ver:", 1, true) then
      if line:sub(1, colon - 1):find("packet_ver", 1, true) then
        local n = clamp(read_number(trim(line:sub(colon + 1)), 10), 1, 65535)
        for v in pairs(versions) do if v > n then versions[v] = nil end end
        versions[n] = versions[n - 1] and copy(versions[n - 1]) or nil
        count, current = n + 1, n
      end
    elseif line:find(",", 1, true) and current > 0 then
      local fields = split(line, ",", 4)
      if #fields >= 2 then
        local hex = fields[1]:match("^0x(.*)")
        working.id = clamp(hex and read_number(hex, 16) or read_number(fields[1], 10), 1, 0xFFFE)
        working.len = clamp(read_number(fields[2], 10), -2 ^ 31, 2 ^ 31 - 1)
      end
      if #fields >= 4 then
        for slot, part in ipairs(split(fields[4], ":", 10)) do
          working.pos[slot] = clamp(read_number(part, 10), -32768, 32767)
        end
        if MEMBERS[fields[3]] then
          versions[current] = versions[current] or {}
          versions[current][fields[3]] = copy(working)
        end
      end
    end
  end
  versions.count = count
  return versions
end

-- Where the database is looked for, the first that reads wins; DIR is this script's folder:
--   the preference, when set (and then nothing else);
--   DIR/packet_db.txt                   the Windows zip: beside quib-server.exe;
--   DIR/../../../share/quib-server/packet_db.txt     an install: PREFIX/lib/wireshark/plugins,
--                                                   PREFIX/share/quib-server;
--   DIR/../../../../share/quib-server/packet_db.txt  the same with
--                                                   PREFIX/lib/<multiarch>/wireshark/plugins;
--   DIR/../data/packet_db.txt                       the sources: dissector/ beside data/.
local DIR = debug.getinfo(1, "S").source:match("^@(.*)[/\\][^/\\]*$") or "."
local SEARCHED = {"/packet_db.txt", "/../../../share/quib-server/packet_db.txt",
  "/../../../../share/quib-server/packet_db.txt", "/../data/packet_db.txt"}
local db = {}  -- wanted: the preference it was read for; versions, or why: what was searched

local function packet_db()
  if db.wanted == quib.prefs.packet_db then return db.versions end
  db = {wanted = quib.prefs.packet_db}
  local paths = {db.wanted}
  for i, tail in ipairs(db.wanted == "" and SEARCHED or {}) do paths[i] = DIR .. tail end
  for _, path in ipairs(paths) do
    local file = io.open(path, "rb")
    local size = file and file:seek("end")  -- the server takes no file over 16 MiB
    local text = size and size <= 16 * 2 ^ 20 and file:seek("set") and file:read("*a")
    if file then file:close() end
    db.versions = text and read_packet_db(text)
    if db.versions and db.versions.count > 0 then return db.versions end
  end
  db.versions, db.why = nil, "no packet_db.txt with a section at " .. table.concat(paths, ", ")
end

-- How a version is told: the id of the client's map login and the bytes it sent for it.
local DETECTION = {
  [0x0072] = {[19] = 5, [22] = 6, [39] = 7},
  [0x007E] = {[33] = 8, [37] = 9},
  [0x00F5] = {[34] = 10, [32] = 11, [35] = 12, [29] = 13},
  [0x009B] = {[32] = 15, [26] = 16, [31] = 18, [37] = 20, [35] = 21},
}

-- Layouts: {field, offset, width[, name]}; an offset "p0" is Positions slot 0 of the version's
-- entry, a width "rest" runs to the packet's end. The Info text names values as "{field}" (or
-- by the name). A cell is 3 packed bytes, a move two cells in 5, each coordinate 10 bits.
local function cell(b0, b1, b2) return b0 * 4 + math.floor(b1 / 64),
                                       (b1 % 64) * 16 + math.floor(b2 / 16) end
local function xy(t, r, x, y) t:add(F.x, r, x) t:add(F.y, r, y) return ("(%d, %d)"):format(x, y) end
local function text(field)  -- up to its first zero byte, in the server's single-byte charset
  return function(t, r)
    local s = r:string(ENC_ISO_8859_1)
    s = s:sub(1, (s:find("\0", 1, true) or #s + 1) - 1)
    t:add(field, r, s)
    return s
  end
end
local DECODE = {map = text(F.map), text = text(F.text),
  bytes = function(t, r) t:add(F.bytes, r) return r:len() end,
  address = function(t, r) t:add(F.address, r) return tostring(r:ipv4()) end,
  cell = function(t, r) return xy(t, r, cell(r(0, 1):uint(), r(1, 1):uint(), r(2, 1):uint())) end,
  move = function(t, r)
    local b = {r(0, 1):uint(), r(1, 1):uint(), r(2, 1):uint(), r(3, 1):uint(), r(4, 1):uint()}
    local from = string.format("(%d, %d)", cell(b[1], b[2], b[3]))
    t:add(r(0, 3), "From: " .. from)
    return "from " .. from .. " to " ..
           xy(t, r(2, 3), (b[3] % 16) * 64 + math.floor(b[4] / 4), (b[4] % 4) * 256 + b[5])
  end,
}

-- Adds the fields of `layout` to `t` and returns their values by name. Repeated entries:
-- {"entries", offset, size, layout, label, name}, each a subtree labelled from its values.
local function decode(t, r, layout, entry)
  local v = {}
  for _, item in ipairs(layout or {}) do
    local key, o, n = item[1], item[2], item[3]
    if type(o) == "string" then o = entry and entry.pos[tonumber(o:sub(2)) + 1] end
    if o and n == "rest" then n = r:len() - o end
    if key == "entries" then
      local labels = {}
      for at = o, r:len() - n, n do
        local e = t:add(r(at, n), item[6])
        labels[#labels + 1] = item[5]:gsub("{([%w_]+)}", decode(e, r(at, n), item[4]))
        e:append_text(": " .. labels[#labels])
      end
      v.entries, v.entry_count = table.concat(labels, "; "), #labels
    elseif o and o >= 0 and n > 0 and o + n <= r:len() then
      local f = r(o, n)
      local value = DECODE[key] and DECODE[key](t, f) or f:le_uint()
      if not DECODE[key] then t:add(F[key], f, value) end
      v[item[4] or key] = value
    end
  end
  return v
end

-- Every packet the client sends, in the order the server tests ids (first match wins): {id,
-- length, name, layout, info}. A packet_db.txt name for the id takes id and length from the
-- version; length 0: the server drops all it holds with it; "field": the total at offset 2.
-- `role`: a login or character packet, which is no map login.
local CLIENT = {
  {0x0000, 0, "Ignored"},
  {0x0200, 26, "Login pre-request", role = true},
  {0x0204, 18, "Login pre-request", role = true},
  {0x0064, 55, "Login request", role = true, closes = true},
  {0x01DD, 55, "Login request", role = true, closes = true},
  {0x020B, 19, "Character server marker", role = true},
  {0x0065, 17, "Character connect", {{"account_id", 2, 4}}, ": account {account_id}",
   role = true, echo = true},
  {0x0187, 6, "Ignored", role = true},
  {0x0068, 46, "Character delete", role = true},
  {0x0067, 37, "Character create", role = true},
  {0x0066, 3, "Character select", {{"slot", 2, 1}}, ": slot {slot}", role = true, closes = true},
  {"wanttoconnection", nil, "Map login", nil, ": packet version {version}", echo = true},
  {0x01C0, 2, "Ignored"},
  {"loadendack", nil, "Map loaded"},
  {"ticksend", nil, "Tick"},
  {0x009B, 14, "Ignored"},
  {"globalmessage", "field", "Chat", {{"length", 2, 2}, {"text", "p1", "rest"}}, ": {text}"},
  {"emotion", nil, "Emotion", {{"emotion", 2, 1}}, " {emotion}"},
  {"sndoridori", nil, "Sndoridori", {{"value", 4, 2}, {"value", 9, 1}}},
  {"walktoxy", nil, "Walk", {{"cell", "p0", 3}}, " to {cell}"},
  {"howmanyconnections", nil, "User count request"},
  {"restart", nil, "Restart", {{"value", "p0", 1, "type"}}, ": type {type}"},
}

-- Every packet the server sends, in the same form.
local SERVER = {
  {0x0069, "field", "Server list", {{"length", 2, 2}, {"account_id", 8, 4}, {"entries", 47, 32,
   {{"address", 0, 4}, {"port", 4, 2}, {"text", 6, 20}, {"count", 26, 2}},
   "{text} {address}:{port}, {count} users", "Server"}}, ": {entries}"},
  {0x006B, "field", "Character list", {{"length", 2, 2}, {"entries", 24, 106,
   {{"character_id", 0, 4}, {"text", 74, 24}, {"slot", 104, 1}},
   "{text}, id {character_id}, slot {slot}", "Character"}}, ": {entry_count} characters"},
  {0x006C, 4, "Connect refused"},
  {0x006E, 3, "Create refused", {{"value", 2, 1}}, ": code {value}"},
  {0x0070, 4, "Delete refused", {{"value", 2, 2}}, ": code {value}"},
  {0x0071, 28, "Map server", {{"character_id", 2, 4}, {"map", 6, 16}, {"address", 22, 4},
   {"port", 26, 2}}, ": {map} at {address}:{port}, character {character_id}"},
  {0x0073, 11, "Map login reply", {{"tick", 2, 4}, {"cell", 6, 3}}, " at {cell}"},
  {0x007F, 6, "Tick reply", {{"tick", 2, 4}}, ": {tick}"},
  {0x0087, 12, "Walk reply", {{"tick", 2, 4}, {"move", 6, 5}}, " {move}"},
  {0x008D, "field", "Chat line", {{"length", 2, 2}, {"character_id", 4, 4}, {"text", 8, "rest"}},
   ": {text}"},
  {0x0091, 26, "Map change", {{"map", 2, 16}, {"x", 18, 2}, {"y", 20, 2}}, ": {map} ({x}, {y})"},
  {0x009C, 9, "Sndoridori reply", {{"character_id", 2, 4}, {"value", 6, 2}, {"value", 8, 1}}},
  {0x00A3, "field", "Status list", {{"length", 2, 2}}},
  {0x00A4, "field", "Status list", {{"length", 2, 2}}},
  {0x00B0, 8, "Status", {{"value", 2, 2, "type"}, {"value", 4, 4}}, ": type {type}, value {value}"},
  {0x00B3, 3, "Restart reply", {{"value", 2, 1, "type"}}, ": type {type}"},
  {0x00C0, 7, "Emotion reply", {{"account_id", 2, 4}, {"emotion", 6, 1}},
   " {emotion} from account {account_id}"},
  {0x00C2, 6, "User count", {{"count", 2, 4}}, ": {count}"},
}
-- The 4-byte account echo has no id; it comes where a reply is owed, before 0x006B or 0x0073.
local ECHO = {nil, 4, "Account echo", {{"account_id", 0, 4}}, ": {account_id}"}
local UNKNOWN = {nil, nil, "Unknown packet", {{"bytes", 0, "rest"}}, expert = E.unknown}
local DROPPED = {nil, nil, "Dropped", {{"bytes", 0, "rest"}}, ": {bytes} bytes, {why}",
                 expert = E.dropped}
local AFTER_ECHO = {[0x006B] = true, [0x0073] = true}
local ROLE_IDS, SERVER_IDS = {}, {}
for _, row in ipairs(CLIENT) do if row.role then ROLE_IDS[row[1]] = true end end
for _, row in ipairs(SERVER) do SERVER_IDS[row[1]] = row end

-- The packet at `off`: its length (nil: more bytes needed, that many more when known), its row,
-- the version's entry for it and its id, and whether the server drops all it holds with it.
local function next_packet(tvb, off, s, to_server, versions)
  local rest = tvb:len() - off
  if rest < 2 then return nil end
  local id, row, entry = tvb(off, 2):le_uint()
  if to_server then
    local version = versions and versions[s.version]
    for _, r in ipairs(CLIENT) do
      entry = type(r[1]) == "string" and version and version[r[1]] or nil
      if id == (entry and entry.id or r[1]) then row = r break end
    end
  else
    row = SERVER_IDS[id]
    local before = rest >= 6 and AFTER_ECHO[tvb(off + 4, 2):le_uint()]
    if (before and (s.echo > 0 or not row)) or (s.echo > 0 and not row) then row, id = ECHO end
  end
  if not row then return rest, UNKNOWN, nil, id, true end
  local length = row[2] or entry.len
  if length == "field" then length = rest >= 4 and math.max(tvb(off + 2, 2):le_uint(), 4) end
  if not length then return nil end
  if length <= 0 then return rest, row, entry, id, true end
  if length > rest then return nil, length - rest end
  return length, row, entry, id
end

-- Adds one packet to the tree and its text to `infos`; `more` holds values for the Info text.
local function show(infos, tree, r, row, id, entry, more)
  local label = row == UNKNOWN and string.format("Unknown packet 0x%04X", id) or
                id and string.format("0x%04X %s", id, row[3]) or row[3]
  local t = tree:add(quib, r, label)
  if id then t:add(F.id, r(0, 2), id) end
  t:add(F.name, r, row[3]):set_generated()
  if entry then t:add(F.version, r(0, 2), more.version):set_generated() end
  local v = decode(t, r, row[4], entry)
  for k, value in pairs(more) do v[k] = value end
  label = label .. (row[5] or ""):gsub("{([%w_]+)}", function(k) return tostring(v[k] or "?") end)
  t:set_text(label)
  if row.expert then t:add_proto_expert_info(row.expert, label) end
  infos[#infos + 1] = label
  return t
end

-- Map login detection, on the client's bytes since the conversation began. The server waits
-- while bytes keep coming; a capture cannot tell whether more came within its tick, so a login
-- is awaited only while it is shorter than every size listed for its id. False: wait.
local function detect(tvb, s)
  local len = tvb:len()
  if len < 2 then return false end
  local id = tvb(0, 2):le_uint()
  local sizes, shorter = DETECTION[id] or {}, DETECTION[id] ~= nil
  for size in pairs(sizes) do shorter = shorter and len < size end
  if shorter then return false end
  s.detect, s.version = false, sizes[len] or s.version
  if not ROLE_IDS[id] and not sizes[len] then s.failed = ("0x%04X of %d bytes"):format(id, len) end
  return true
end

-- The packets in `tvb`, read with the state `s` of their conversation, which they advance.
-- Returns the bytes read, and how many more the packet after them needs, if any.
local function dissect(tvb, tree, s, to_server, infos)
  local versions, off, len = packet_db(), 0, tvb:len()
  if to_server and s.detect and not detect(tvb, s) then return 0, DESEGMENT_ONE_MORE_SEGMENT end
  while off < len do
    if to_server and s.closed then
      show(infos, tree, tvb(off), DROPPED, nil, nil, {why = "the server closed the connection"})
      return len
    end
    local length, row, entry, id, all = next_packet(tvb, off, s, to_server, versions)
    if not length then return off, row or DESEGMENT_ONE_MORE_SEGMENT end
    -- At an unknown id the server empties its buffer: the rest of the segment goes with it.
    local whole = not to_server or row ~= UNKNOWN
    local t = show(infos, tree, tvb(off, whole and length or 2), row, id, entry,
                   {version = s.version})
    if not whole and length > 2 then
      show(infos, tree, tvb(off + 2), DROPPED, nil, nil, {why = "with the packet before it"})
    elseif all and row ~= UNKNOWN then
      t:add_proto_expert_info(E.dropped, "No length: the server drops all it holds with it")
    end
    if s.failed then t:add_proto_expert_info(E.no_version, "Version not told from " .. s.failed) end
    s.failed = nil
    if to_server and not versions and (s.version > 0 or type(row[1]) == "string") then
      t:add_proto_expert_info(E.no_database, db.why)
    end
    s.closed = s.closed or (to_server and row.closes)
    if row == ECHO then s.echo = math.max(s.echo - 1, 0) end
    if to_server and row.echo then s.echo = s.echo + 1 end
    off = off + length
  end
  return off
end

-- Per conversation, known by its two ends (fields such as tcp.stream are not read in every
-- pass): `now`, the state after what the first pass read, and `at`, the state each call started
-- from, so that a frame opened later reads as it did. A frame has at most two calls: the packet
-- its segment completes (reassembled, a tvb at offset 0), then the rest of the segment.
local conversations = {}
function quib.init() conversations, db = {}, {} end

function quib.dissector(tvb, pinfo, tree)
  local a, b = tostring(pinfo.src) .. ":" .. pinfo.src_port,
               tostring(pinfo.dst) .. ":" .. pinfo.dst_port
  local key = a < b and a .. " " .. b or b .. " " .. a
  local c = conversations[key] or {now = {detect = true, version = 0, echo = 0}, at = {}}
  conversations[key] = c
  local call = pinfo.number * 2 + (tvb:offset() == 0 and 0 or 1)
  local s = copy(pinfo.visited and c.at[call] or c.now)
  if not pinfo.visited then c.at[call] = copy(s) end
  local infos = {}
  local done, more = dissect(tvb, tree, s, pinfo.dst_port == pinfo.match_uint, infos)
  if more then pinfo.desegment_offset, pinfo.desegment_len = done, more end
  if not pinfo.visited then c.now = s end
  if #infos > 0 then
    -- What a reassembled packet leaves in its last segment follows it on the same line.
    if tostring(pinfo.cols.protocol) == "QUIB" then
      pinfo.cols.info:append("; " .. table.concat(infos, "; "))
    else
      pinfo.cols.protocol, pinfo.cols.info = "QUIB", table.concat(infos, "; ")
    end
  end
  return tvb:len()
end

local tcp_port, registered = DissectorTable.get("tcp.port"), quib.prefs.port
tcp_port:add(registered, quib)
function quib.prefs_changed()
  if registered == quib.prefs.port then return end
  tcp_port:remove(registered, quib)
  registered = quib.prefs.port
  tcp_port:add(registered, quib)
end
