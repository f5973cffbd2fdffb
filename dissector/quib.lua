-- quib.lua: the Quib-Server protocol in Wireshark 3.6 and later, for a plugin folder
-- (~/.local/lib/wireshark/plugins, %APPDATA%\Wireshark\plugins) or tshark -X lua_script:quib.lua.
-- It needs its tables beside it, quib_tables.lua.inc: the server's build writes them from its own
-- description of the protocol (the packets, the detection table, packet_db.txt's names and
-- places), and a build, an install and the Windows zip put them here.
--
-- A client meets the server on one TCP port (6900 by default) in three roles, a new connection
-- each: login, character server, map server. A conversation on another port is told by the first
-- packet its client sends (see "On any port" below). Integers are little-endian, the 16-bit packet
-- id is at offset 0, and a variable-length packet carries its total length at offset 2. Login and
-- character packets have fixed lengths; map packets take id, length and field positions from
-- packet_db.txt for the connection's packet version, told from the id and size of its map login
-- (or, for a client connected before the server's capture started, by the server's comment).
-- Packets are framed as the server frames them: it empties its buffer at an id it does not know,
-- and closes the connection after a login request and a character select.

local quib = Proto("quib", "Quib-Server protocol")

-- This script's folder. Its tables are read as text and run: loadfile would look for a relative
-- name in Wireshark's own folders first.
local DIR = debug.getinfo(1, "S").source:match("^@(.*)[/\\][^/\\]*$") or "."
local T
do
  local path = DIR .. "/quib_tables.lua.inc"
  local file = io.open(path, "rb")
  if not file then
    error("quib.lua: no " .. path .. ": take the quib.lua of a build or an install, beside its " ..
          "tables")
  end
  local text = file:read("*a")
  file:close()
  T = assert((loadstring or load)(text, "@" .. path))()
end

local F, E, fields, experts = {}, {}, {}, {}
for _, f in ipairs({{"id", "uint16", "Packet id", base.HEX}, {"name", "string", "Name"},
    {"length", "uint16", "Length"}, {"account_id", "uint32", "Account id"},
    {"character_id", "uint32", "Character id"}, {"slot", "uint8", "Slot"}, {"map", "string", "Map"},
    {"x", "uint16", "X"}, {"y", "uint16", "Y"}, {"text", "string", "Text"},
    {"address", "ipv4", "Address"}, {"port", "uint16", "Port"},
    {"version", "uint32", "Packet version"}, {"tick", "uint32", "Map tick"},
    {"count", "uint32", "Count"}, {"emotion", "uint8", "Emotion"}, {"value", "uint32", "Value"},
    {"bytes", "bytes", "Bytes"}, {"padding", "bytes", "Padding"}}) do
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

quib.prefs.port = Pref.uint("TCP port", 6900, "A port always decoded as this protocol; on any " ..
  "other a conversation is told by its client's first packet")
quib.prefs.packet_db = Pref.string("packet_db.txt", "", "The packet database to read. Empty: " ..
  "the one beside the installed server, else the one its sources ship")

-- packet_db.txt, read by the server's rules: "packet_ver: N" starts section N as a copy of N - 1;
-- "id,length,name,p0:p1:..." sets one of the nine named packets of the section. The working entry
-- is never cleared: position slots a line does not list keep what earlier lines left there.
local MEMBERS = {}
for _, name in ipairs(T.MEMBERS) do MEMBERS[name] = true end
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

-- Where the database is looked for, the first that reads wins: the preference, when set (and then
-- nothing else); else where the server itself looks (T.PACKET_DB, from the program's folder), from
-- each folder the program may be in, relative to this script's:
--   DIR                                  the Windows zip: beside quib-server.exe;
--   DIR/..                               a build: the script in its dissector folder;
--   DIR/../../../bin, DIR/../../../../bin  an install: PREFIX/lib/wireshark/plugins, or
--                                        PREFIX/lib/<multiarch>/wireshark/plugins, and PREFIX/bin.
local SEARCHED = {}
for _, folder in ipairs({"", "/..", "/../../../bin", "/../../../../bin"}) do
  for _, place in ipairs(T.PACKET_DB) do SEARCHED[#SEARCHED + 1] = folder .. "/" .. place end
end
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
local DETECTION = T.DETECTION

-- Layouts: {field, reading, offset, width, name = ..., entry = ...}; an offset "p0" is Positions
-- slot 0 of the version's entry, a width "rest" runs to the packet's end. The Info text names
-- values as "{field}" (or by the name). A cell is 3 packed bytes, a move two cells in 5, each
-- coordinate 10 bits.
local function cell(b0, b1, b2) return b0 * 4 + math.floor(b1 / 64),
                                       (b1 % 64) * 16 + math.floor(b2 / 16) end
local function xy(t, r, x, y) t:add(F.x, r, x) t:add(F.y, r, y) return ("(%d, %d)"):format(x, y) end
-- How each reading shows its bytes `r` as the field `field`, and the value it gives.
local READ = {
  int = function(t, r, field)
    local value = r:le_uint()
    t:add(F[field], r, value)
    return value
  end,
  text = function(t, r, field)  -- up to its first zero byte, in the server's single-byte charset
    local s = r:string(ENC_ISO_8859_1)
    s = s:sub(1, (s:find("\0", 1, true) or #s + 1) - 1)
    t:add(F[field], r, s)
    return s
  end,
  bytes = function(t, r, field) t:add(F[field], r) return r:len() end,
  address = function(t, r, field) t:add(F[field], r) return tostring(r:ipv4()) end,
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
-- {"entries", "entries", offset, size, entry = {layout, label, name}}, each a subtree labelled
-- from its values.
local function decode(t, r, layout, entry)
  local v = {}
  for _, item in ipairs(layout or {}) do
    local field, reading, o, n = item[1], item[2], item[3], item[4]
    if type(o) == "string" then o = entry and entry.pos[tonumber(o:sub(2)) + 1] end
    if o and n == "rest" then n = r:len() - o end
    if reading == "entries" then
      local labels, each = {}, item.entry
      for at = o, r:len() - n, n do
        local e = t:add(r(at, n), each.name)
        labels[#labels + 1] = each.label:gsub("{([%w_]+)}", decode(e, r(at, n), each.layout))
        e:append_text(": " .. labels[#labels])
      end
      v.entries, v.entry_count = table.concat(labels, "; "), #labels
    elseif o and o >= 0 and n > 0 and o + n <= r:len() then
      v[item.name or field] = READ[reading](t, r(o, n), field)
    end
  end
  return v
end

-- Every packet the client sends, in the order the server tests ids (first match wins): {id or
-- member, length, name, layout, info}. A packet_db.txt member takes id and length from the
-- version; length 0: the server drops all it holds with it; "field": the total at offset 2.
-- `role`: a login or character packet, which is no map login; `closes`: the server closes the
-- connection after it; `echo`: the account echo comes ahead of its reply.
local CLIENT = T.CLIENT
-- Every packet the server sends, in the same form; `after_echo`: the account echo may come ahead
-- of it. The 4-byte account echo has no id; unknown ids and the bytes the server drops unread
-- are shown too.
local SERVER, ECHO, UNKNOWN, DROPPED, WHY = T.SERVER, T.ECHO, T.UNKNOWN, T.DROPPED, T.WHY
UNKNOWN.expert, DROPPED.expert = E.unknown, E.dropped
local AFTER_ECHO, ROLE_IDS, SERVER_IDS = {}, {}, {}
for _, row in ipairs(CLIENT) do if row.role then ROLE_IDS[row.id] = true end end
for _, row in ipairs(SERVER) do
  SERVER_IDS[row.id], AFTER_ECHO[row.id] = row, row.after_echo
end

-- The packet at `off`: its length (nil: more bytes needed, that many more when known), its row,
-- the version's entry for it and its id, and whether the server drops all it holds with it.
local function next_packet(tvb, off, s, to_server, versions)
  local rest = tvb:len() - off
  if rest < 2 then return nil end
  local id, row, entry = tvb(off, 2):le_uint()
  if to_server then
    local version = versions and versions[s.version]
    for _, r in ipairs(CLIENT) do
      entry = r.member and version and version[r.member] or nil
      if id == (entry and entry.id or r.id) then row = r break end
    end
  else
    row = SERVER_IDS[id]
    local before = rest >= 6 and AFTER_ECHO[tvb(off + 4, 2):le_uint()]
    if (before and (s.echo > 0 or not row)) or (s.echo > 0 and not row) then row, id = ECHO end
  end
  if not row then return rest, UNKNOWN, nil, id, true end
  local length = row.length or entry.len
  if length == "field" then length = rest >= 4 and math.max(tvb(off + 2, 2):le_uint(), 4) end
  if not length then return nil end
  if length <= 0 then return rest, row, entry, id, true end
  if length > rest then return nil, length - rest end
  return length, row, entry, id
end

-- Adds one packet to the tree and its text to `infos`; `more` holds values for the Info text.
local function show(infos, tree, r, row, id, entry, more)
  local label = row == UNKNOWN and string.format("%s 0x%04X", row.name, id) or
                id and string.format("0x%04X %s", id, row.name) or row.name
  local t = tree:add(quib, r, label)
  if id then t:add(F.id, r(0, 2), id) end
  t:add(F.name, r, row.name):set_generated()
  if entry then t:add(F.version, r(0, 2), more.version):set_generated() end
  local v = decode(t, r, row.layout, entry)
  for k, value in pairs(more) do v[k] = value end
  label = label .. (row.info or ""):gsub("{([%w_]+)}", function(k) return tostring(v[k] or "?") end)
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
      show(infos, tree, tvb(off), DROPPED, nil, nil, {why = WHY.closed})
      return len
    end
    local length, row, entry, id, all = next_packet(tvb, off, s, to_server, versions)
    if not length then return off, row or DESEGMENT_ONE_MORE_SEGMENT end
    -- At an unknown id the server empties its buffer: the rest of the segment goes with it.
    local whole = not to_server or row ~= UNKNOWN
    local t = show(infos, tree, tvb(off, whole and length or 2), row, id, entry,
                   {version = s.version})
    if not whole and length > 2 then
      show(infos, tree, tvb(off + 2), DROPPED, nil, nil, {why = WHY.behind})
    elseif all and row ~= UNKNOWN then
      t:add_proto_expert_info(E.dropped, "No length: the server drops all it holds with it")
    end
    if s.failed then t:add_proto_expert_info(E.no_version, "Version not told from " .. s.failed) end
    s.failed = nil
    if to_server and not versions and (s.version > 0 or row.member) then
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

-- `server`: the server's end, from the first frame read: the port it was decoded by, or where the
-- client's first packet or the server's handshake went.
local function conversation(pinfo)
  local a, b = tostring(pinfo.src) .. ":" .. pinfo.src_port,
               tostring(pinfo.dst) .. ":" .. pinfo.dst_port
  local key = a < b and a .. " " .. b or b .. " " .. a
  local c = conversations[key] or {now = {detect = true, version = 0, echo = 0}, at = {}}
  conversations[key] = c
  return c, b
end

function quib.dissector(tvb, pinfo, tree)
  local c, dst = conversation(pinfo)
  if not c.server then
    c.server = pinfo.dst_port == pinfo.match_uint and dst or
               tostring(pinfo.src) .. ":" .. pinfo.src_port
  end
  local call = pinfo.number * 2 + (tvb:offset() == 0 and 0 or 1)
  local s = copy(pinfo.visited and c.at[call] or c.now)
  if not pinfo.visited then c.at[call] = copy(s) end
  local infos = {}
  local done, more = dissect(tvb, tree, s, dst == c.server, infos)
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

-- On any port: a conversation claimed (pinfo.conversation) gives every later frame to the
-- dissector before any table or heuristic. Where a release refuses the claim, the heuristic below
-- still takes each frame of a conversation it has claimed.
local function claim(pinfo, c, server)
  c.server = c.server or server
  pcall(function() pinfo.conversation = quib end)
end

-- A conversation is this protocol when the first bytes it carries, all in one segment, are one
-- packet a client opens a connection with, at a size the protocol lists for its id (a login or a
-- character connect), or the detection table or the packet database lists for a map login. Only
-- that first segment is judged, and only the exact size: a server that speaks first, another
-- protocol's request (text, a TLS hello) or a stream joined midway is left to other dissectors,
-- and to the port preference.
local function opens(tvb)
  local len = tvb:len()
  if len < 2 then return false end
  local id = tvb(0, 2):le_uint()
  for _, row in ipairs(CLIENT) do
    if row.opens and row.member then
      if DETECTION[id] and DETECTION[id][len] then return true end
      for _, version in pairs(packet_db() or {}) do
        local entry = type(version) == "table" and version[row.member]
        if entry and entry.id == id and entry.len == len then return true end
      end
    elseif row.opens and row.id == id and row.length == len then
      return true
    end
  end
  return false
end

quib:register_heuristic("tcp", function(tvb, pinfo, tree)
  local c, dst = conversation(pinfo)
  c.first = c.first or pinfo.number
  if not c.server and (c.first ~= pinfo.number or not opens(tvb)) then
    return false
  end
  claim(pinfo, c, dst)
  quib.dissector(tvb, pinfo, tree)
  return true
end)

-- The server's own capture of a connection that was open before it started holds no map login to
-- tell the version by: the first frame of its handshake, from the client, says so in its comment,
-- with the version the server reads it by ("Connected before the capture started, packet version
-- 5"). A frame without bytes reaches no TCP dissector, so the comments are read after every frame:
-- such a comment claims the conversation, on any port, and a version the server tells ahead of
-- the conversation's first client bytes stands for the detection.
local comment_field = Field.new("frame.comment")
local comments = Proto("quib_comments", "Quib-Server capture comments")
function comments.dissector(_, pinfo)
  if pinfo.visited then return end
  for _, comment in ipairs({comment_field()}) do
    local text = tostring(comment.value)
    local c, dst = conversation(pinfo)
    if text:find("^Connected before the capture started") then claim(pinfo, c, dst) end
    local version = tonumber(text:match(", packet version (%d+)"))
    if version and c.now.detect then c.now.detect, c.now.version = false, version end
  end
end
register_postdissector(comments)

local tcp_port, registered = DissectorTable.get("tcp.port"), quib.prefs.port
tcp_port:add(registered, quib)
function quib.prefs_changed()
  if registered == quib.prefs.port then return end
  tcp_port:remove(registered, quib)
  registered = quib.prefs.port
  tcp_port:add(registered, quib)
end
