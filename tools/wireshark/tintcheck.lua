-- Wireshark dissector for the tintCHECK discovery protocol on UDP port 9090.
--
-- Every datagram carries one or more message packets: a 4-byte big-endian length of the whole
-- packet (the 8-byte header included), a 4-byte big-endian signed command code, then the data.
-- Install: copy into a Wireshark plugins folder, or run `tshark -X lua_script:tintcheck.lua`.

local tintcheck = Proto("tintcheck", "tintCHECK discovery")

local commands = {
    [-100] = "MemberListRequest",
    [-101] = "MemberJoin",
    [-102] = "MemberLeave",
}

local f_length = ProtoField.int32("tintcheck.length", "Length", base.DEC)
local f_command = ProtoField.int32("tintcheck.command", "Command", base.DEC)
local f_name = ProtoField.string("tintcheck.name", "Meaning")
local f_data = ProtoField.bytes("tintcheck.data", "Data")
local f_text = ProtoField.string("tintcheck.text", "Data as text")
tintcheck.fields = { f_length, f_command, f_name, f_data, f_text }

local e_malformed = ProtoExpert.new("tintcheck.malformed", "Length that no packet can have",
    expert.group.MALFORMED, expert.severity.ERROR)
local e_short = ProtoExpert.new("tintcheck.short", "Packet continues in a later datagram",
    expert.group.MALFORMED, expert.severity.WARN)
tintcheck.experts = { e_malformed, e_short }

local HEADER = 8
local LARGEST = 65507

local function meaning(command, data)
    if commands[command] then return commands[command] end
    if command == 0 and data:len() == 1 and data:uint() == 0x53 then return "Greeting" end
    return "Application message"
end

function tintcheck.dissector(buffer, pinfo, tree)
    local size = buffer:len()
    if size == 0 then return 0 end
    pinfo.cols.protocol = "tintCHECK"
    local names = {}
    local offset = 0
    while offset < size do
        local left = size - offset
        if left < 4 then
            tree:add_proto_expert_info(e_short, "Fewer than four bytes left")
            break
        end
        local length = buffer(offset, 4):int()
        -- Nothing after a length that cannot be trusted, or a packet cut short, can be read.
        local problem = (length < HEADER or length > LARGEST) and { "Malformed", e_malformed }
            or (length > left and { "Incomplete", e_short }) or nil
        if problem then
            local item = tree:add(tintcheck, buffer(offset, left), "tintCHECK packet (" .. problem[1]:lower() .. ")")
            item:add(f_length, buffer(offset, 4))
            item:add_proto_expert_info(problem[2])
            names[#names + 1] = problem[1]
            break
        end
        local command = buffer(offset + 4, 4):int()
        local data = length > HEADER and buffer(offset + HEADER, length - HEADER) or buffer(offset, 0)
        local name = meaning(command, data)
        local item = tree:add(tintcheck, buffer(offset, length), "tintCHECK " .. name)
        item:add(f_length, buffer(offset, 4))
        item:add(f_command, buffer(offset + 4, 4))
        item:add(f_name, name)
        if length > HEADER then
            item:add(f_data, data)
            item:add(f_text, data:string())
        end
        names[#names + 1] = name
        offset = offset + length
    end
    pinfo.cols.info = table.concat(names, ", ")
    return size
end

DissectorTable.get("udp.port"):add(9090, tintcheck)
