#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

Each seed is a host session in the byte language the targets read (fuzz_host.cpp's Reader and
the targets' step loops): every opcode once, texts for every control, the awkward floats at
every entry, a real state chunk and damaged ones, and audio sessions with rate changes, NaN
bursts, tiny blocks and subnormal input. Run it again after changing that language.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Selectors of Reader::Float's table of awkward values.
ZERO, NEG_ZERO, ONE, HALF, QUARTER, THREE_QUARTERS, MINUS_ONE = 0, 1, 2, 3, 4, 5, 6
DENORM_MIN, FLT_MIN_HALF, FLT_MAX, INF, NEG_INF, NAN = 9, 12, 13, 15, 16, 17
HUGE, RATE_8K, RATE_22K, RATE_44K, RATE_48K, RATE_96K, RATE_192K = 20, 24, 25, 26, 27, 28, 29
SPECIALS = range(32)


def index(i):
    """Reader::Index for a small id (-2..17) or any int32."""
    if -2 <= i <= 17:
        return bytes([i + 2])
    return bytes([255]) + struct.pack('<i', i)


def value(v):
    """Reader::Value for -4..35 or any int32."""
    if -4 <= v <= 35:
        return bytes([v + 4])
    return bytes([200]) + struct.pack('<i', v)


def special(selector):
    return bytes([selector])


def raw_float(f):
    return bytes([200]) + struct.pack('<f', f)


def word(n):
    return struct.pack('<H', n)


def default_chunk():
    records = [(-1, 0.0), (-1, 0.0)] + [(b, 0.5) for b in range(10)]
    records += [(10, 1.0), (11, 0.0), (-1, 0.0)]
    return b''.join(struct.pack('<if', i, v) for i, v in records)


def write(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


# --- dispatcher: [opcode][index][value][opt] and the extra bytes some opcodes read ---
TEXT_OPCODES = {5, 6, 7, 8, 29, 45, 46, 47, 48, 70}


def request(op, i=0, v=0, opt=ZERO, extra=b''):
    return bytes([op]) + index(i) + value(v) + special(opt) + extra


def extras(op):
    if op in TEXT_OPCODES:
        return b''
    if op == 1:  # effClose: reopen
        return bytes([0x5A])
    if op in (13, 23):  # rectangle, chunk
        return b''
    if op == 24:  # effSetChunk: size, bytes, a size that claims the buffer
        chunk = default_chunk()
        return word(len(chunk)) + chunk + bytes([1])
    if op in (4, 51):  # texts read by the effect
        return bytes([6]) + b'bypass'
    if op == 27:
        return bytes([3]) + b'0.5' + bytes([1])
    if op in (42, 69):  # speaker arrangements
        return bytes([3]) + (struct.pack('<I', 1) + bytes([2]) if op == 42 else b'')
    if op == 14:
        return b''
    return bytes([0])  # a zeroed record behind ptr


def req(op, i=0, v=0, opt=ZERO):
    return request(op, i, v, opt, extras(op))


def dispatcher_seeds():
    write('dispatcher', 'every_opcode', b''.join(req(op) for op in range(82) if op != 1))
    texts = b''
    for op in sorted(TEXT_OPCODES):
        for i in range(-1, 13):
            texts += req(op, i, 1)
    write('dispatcher', 'texts_for_every_control', texts)
    rates = b''.join(req(10, 0, 0, s) for s in SPECIALS)
    rates += b''.join(req(11, 0, v) for v in (-1, 0, 1, 35))
    write('dispatcher', 'sample_rates_and_block_sizes', rates)
    programs = b''.join(req(2, 0, v) + req(5) for v in (-4, -1, 0, 1, 2, 3))
    programs += req(2, 0, -2147483648) + req(5)
    write('dispatcher', 'programs', programs)
    write('dispatcher', 'chunk_round_trip', req(23) + req(24) + req(23, 1) + req(1) + req(23))
    write('dispatcher', 'editor',
          req(13) + req(14) + req(19) + req(59, 65, 13, RATE_8K) + req(60, 65, 13) +
          req(61, 0, 2) + req(15) + req(13))


# --- chunk: [kind][...][how] per restore ---
def raw_chunk(data, how=0):
    return bytes([0]) + word(len(data)) + data + bytes([how])


def record_chunk(records, tail=b'', how=0):
    body = bytes([1, len(records)])
    for i, f in records:
        body += index(i) + special(f)
    return body + bytes([len(tail)]) + tail + bytes([how])


def chunk_seeds():
    write('chunk', 'default_state', raw_chunk(default_chunk()))
    write('chunk', 'default_state_as_preset', raw_chunk(default_chunk(), how=1))
    for half in range(2):
        write('chunk', 'every_control_awkward_values_%d' % half,
              b''.join(record_chunk([(i, s) for i in range(-1, 13)])
                       for s in SPECIALS[16 * half:16 * half + 16]))
    write('chunk', 'one_record_and_a_partial_one',
          record_chunk([(3, THREE_QUARTERS)], tail=b'\x01\x02\x03\x04'))
    write('chunk', 'null_and_negative_sizes',
          raw_chunk(default_chunk(), how=2) + raw_chunk(default_chunk(), how=4) +
          struct.pack('<I', 12))
    write('chunk', 'unknown_ids', record_chunk([(-2, ONE), (12, ONE), (17, HALF), (99999, ONE)]))


# --- parameters: [op][index][float] ---
def parameter_seeds():
    for half in range(2):
        writes = b''
        for i in range(-2, 14):
            for s in SPECIALS[16 * half:16 * half + 16]:
                writes += bytes([0]) + index(i) + special(s)
        write('parameters', 'every_control_awkward_values_%d' % half, writes)
    reads = b''.join(bytes([2]) + index(i) for i in range(-2, 18))
    reads += bytes([2]) + index(-2147483648) + bytes([2]) + index(2147483647)
    write('parameters', 'reads_everywhere', reads)
    texts = b''
    for i in range(-2, 14):
        texts += bytes([0]) + index(i) + special(MINUS_ONE) + bytes([3]) + index(i)
        texts += bytes([0]) + index(i) + raw_float(0.123) + bytes([3]) + index(i)
        texts += bytes([0]) + index(i) + special(ONE) + bytes([3]) + index(i)
    write('parameters', 'texts_at_the_ends_of_the_range', texts)


# --- process: [step] ... ---
def block(length_kind=0, kind=1, amplitude=0, seed=1, step=10, sprinkle=(), in_place=1,
          frames=512, raw=b''):
    out = bytes([0, length_kind])
    if length_kind == 1:
        out += bytes([frames - 1])
    elif length_kind >= 3:
        out += word(frames - 1)
    out += bytes([kind, amplitude]) + struct.pack('<I', seed) + bytes([step])
    if kind == 4:
        out += raw
    out += bytes([len(sprinkle)])
    for position, selector, channel in sprinkle:
        out += word(position) + special(selector) + bytes([channel])
    return out + bytes([in_place])


def fader(i, selector):
    return bytes([3]) + index(i) + special(selector)


def rate(selector):
    return bytes([5]) + special(selector)


def in_switch(on):
    return bytes([4, 1 if on else 0])


def process_seeds():
    music = rate(RATE_48K) + fader(0, ONE) + fader(9, ZERO)
    for n in range(6):
        music += block(kind=1 + n % 2, amplitude=n % 3, in_place=n % 2)
        music += fader(n, THREE_QUARTERS) + (in_switch(n % 3 != 1))
    write('process', 'music_with_automation', music)
    burst = block(kind=2) + block(kind=2, sprinkle=[(100, NAN, 0), (400, INF, 1)])
    burst += block(kind=2) + block(kind=2) + block(kind=1, sprinkle=[(511, FLT_MAX, 0)])
    burst += block(kind=1) + block(kind=1)
    write('process', 'nan_and_infinity_bursts', burst)
    rates = b''
    for s in (RATE_8K, RATE_22K, RATE_96K, RATE_192K, ZERO, NAN, HUGE, DENORM_MIN, RATE_44K):
        rates += rate(s) + block(kind=2) + block(length_kind=3, frames=4096, kind=1)
    write('process', 'sample_rate_changes', rates)
    tiny = b''
    for frames in (1, 2, 3, 16):
        tiny += block(length_kind=1, frames=frames, kind=2) + block(length_kind=2, kind=2)
    tiny += bytes([6]) + value(1) + bytes([6]) + value(-1) + bytes([7, 0]) + bytes([7, 1])
    write('process', 'tiny_and_empty_blocks', tiny)
    quiet = fader(3, ONE) + block(kind=3, amplitude=0) + block(kind=0) + block(kind=0)
    quiet += block(kind=2, amplitude=5) + block(kind=2, amplitude=4) + block(kind=0)
    write('process', 'impulse_silence_and_subnormal_input', quiet)
    samples = b''.join(struct.pack('<f', x) for x in
                       (0.0, 1.0, -1.0, float('nan'), 1e-40, 3e38, float('inf'), 0.5) * 2)
    write('process', 'raw_samples',
          block(length_kind=1, frames=16, kind=4, raw=samples) + block(kind=1) + block(kind=1))
    write('process', 'bypass_is_bit_exact',
          in_switch(False) + block(kind=2, sprinkle=[(7, NAN, 0), (9, DENORM_MIN, 1)]) +
          in_switch(True) + block(kind=2) + fader(10, ZERO) + block(kind=1))


def be_program(uid, name, values, kind=b'FxCk', chunk=None):
    """One program record: header, 28-byte name, then values or a chunk."""
    body = name.ljust(28, b'\0')
    if kind == b'FPCh':
        body += struct.pack('>i', len(chunk)) + chunk
    else:
        body += b''.join(struct.pack('>f', v) for v in values)
    count = len(values)
    rest = kind + struct.pack('>i', 1) + uid + struct.pack('>ii', 1, count) + body
    return b'CcnK' + struct.pack('>I', len(rest)) + rest


def be_bank(uid, version, current, count, body, kind=b'FxBk'):
    rest = kind + struct.pack('>i', version) + uid + struct.pack('>ii', 1, count)
    rest += struct.pack('>i', current) + bytes(124) + body
    return b'CcnK' + struct.pack('>I', len(rest)) + rest


def preset_seeds():
    """Preset files as hosts write them (fuzz_preset reads the bytes of one file)."""
    state = default_chunk()
    write('preset', 'program_of_values', be_program(b'VGn1', b'Warm', [0.25, 1.0, 0.5]))
    chunk_program = be_program(b'VLM1', b'Default', [0.5] * 10, kind=b'FPCh', chunk=state)
    # The chunk kind counts parameters but carries no values.
    write('preset', 'program_chunk', chunk_program)
    programs = b''.join(be_program(b'VGn1', n, [0.1 * i, 1.0]) for i, n in
                        enumerate((b'One', b'Two', b'Three')))
    write('preset', 'bank_of_values', be_bank(b'VGn1', 2, 1, 3, programs))
    write('preset', 'bank_chunk_version_1',
          be_bank(b'VLM1', 1, 0, 1, struct.pack('>i', len(state)) + state, kind=b'FBCh'))
    write('preset', 'name_without_terminator', be_program(b'VGn1', b'n' * 28, [0.5]))


# --- vst3_state: [read piece - 1][the stream's bytes] ---
def vst3_stream(records):
    return b'VLM3' + struct.pack('<I', len(records)) + records


def vst3_state_seeds():
    state = vst3_stream(default_chunk())
    write('vst3_state', 'default_state', bytes([15]) + state)
    write('vst3_state', 'default_state_a_byte_at_a_time', bytes([0]) + state)
    write('vst3_state', 'cut_short', bytes([6]) + state[:-5])
    write('vst3_state', 'foreign_tag', bytes([15]) + b'XLM3' + state[4:])
    write('vst3_state', 'length_beyond_the_stream',
          bytes([15]) + b'VLM3' + struct.pack('<I', 4096) + state[8:])
    nan = default_chunk()[:-4] + struct.pack('<f', float('nan'))
    write('vst3_state', 'nan_value', bytes([3]) + vst3_stream(nan))


if __name__ == '__main__':
    dispatcher_seeds()
    chunk_seeds()
    parameter_seeds()
    process_seeds()
    preset_seeds()
    vst3_state_seeds()
