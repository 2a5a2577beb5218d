// An integration engine for the reporter's tests: node-hl7-server accepts, parses and
// acknowledges every HL7 v2 message that arrives over MLLP on a free loopback port.
//
//   node engine.mjs RECORD_FILE [FAULTS]
//
// Prints "listening PORT" once it listens. Every message received is appended to RECORD_FILE as
// one JSON line: its number, its control ID, the answer given and the fields the tests check, as
// the server's parser reads them. FAULTS scripts the answers: comma-separated "N:WHAT", where N
// counts the messages received (1 is the first) and WHAT is AE or AR (answered so), silence (no
// answer) or close (the connection is closed instead of an answer); every other message gets AA.
import fs from 'node:fs'
import { Server } from 'node-hl7-server'

const [recordPath, faultText = ''] = process.argv.slice(2)
if (!recordPath) {
  console.error('usage: node engine.mjs RECORD_FILE [FAULTS]')
  process.exit(2)
}
const faults = new Map(
  faultText.split(',').filter(Boolean).map((fault) => {
    const [count, what] = fault.split(':')
    return [Number(count), what]
  })
)

const checkedFields = [
  'MSH.3', 'MSH.4', 'MSH.5', 'MSH.6', 'MSH.7', 'MSH.9.1', 'MSH.9.2', 'MSH.9.3', 'MSH.10',
  'MSH.11', 'MSH.12', 'MSH.15', 'MSH.16', 'MSH.18', 'MSH.21.1', 'MSH.21.3',
  'PID.3.1', 'PID.3.5', 'PID.5.1', 'PID.5.2', 'PID.5.7',
  'OBR.1', 'OBR.2.1', 'OBR.4.1', 'OBR.7',
  'OBX.1', 'OBX.2', 'OBX.3.1', 'OBX.3.2', 'OBX.3.3', 'OBX.4', 'OBX.5', 'OBX.6.1', 'OBX.6.3',
  'OBX.8', 'OBX.11', 'OBX.14', 'OBX.18.1', 'OBX.18.2', 'OBX.20'
]

let received = 0
// The listener hands every earlier message of a connection over again with each new one: what
// was already taken on a connection is left alone.
const taken = new WeakMap()

const server = new Server({ bindAddress: '127.0.0.1' })
const inbound = server.createInbound({ port: 0 }, async (req, res) => {
  const socket = res._socket
  const message = req.getMessage()
  const controlId = message.get('MSH.10').toString()
  let seen = taken.get(socket)
  if (!seen) {
    seen = new Set()
    taken.set(socket, seen)
  }
  if (seen.has(controlId)) return
  seen.add(controlId)
  ++received
  const answer = faults.get(received) ?? 'AA'
  const fields = {}
  for (const path of checkedFields) {
    try {
      fields[path] = message.get(path).toString()
    } catch {
      fields[path] = null
    }
  }
  fs.appendFileSync(recordPath, JSON.stringify({ n: received, controlId, answer, fields }) + '\n')
  if (answer === 'silence') return
  if (answer === 'close') {
    socket.destroy()
    return
  }
  await res.sendResponse(answer)
})
inbound.on('listen', () => {
  console.log(`listening ${inbound._socket.address().port}`)
})
inbound.on('error', (error) => {
  console.error(`engine: ${error}`)
  process.exit(1)
})
