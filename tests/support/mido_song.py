# Writes, with Debian's python3-mido, a Standard MIDI File as other programs make them: format
# 1, a tempo map in the first track that times the second, running status, a sysex message of
# the family. Usage: python3 mido_song.py FILE
import sys

import mido

song = mido.MidiFile(type=1, ticks_per_beat=480)
tempo = mido.MidiTrack()
tempo.append(mido.MetaMessage('set_tempo', tempo=400000, time=0))
tempo.append(mido.Message('program_change', channel=1, program=5, time=960))
tempo.append(mido.MetaMessage('set_tempo', tempo=800000, time=0))
notes = mido.MidiTrack()
notes.append(mido.Message('note_on', note=60, velocity=100, time=0))
notes.append(mido.Message('note_on', note=62, velocity=100, time=480))
notes.append(mido.Message('sysex', data=[9, 0x11, 0x68, 0x69], time=480))
notes.append(mido.Message('note_on', note=64, velocity=0, time=480))
song.tracks += [tempo, notes]
song.save(sys.argv[1])
