// Validates FHIR R4 JSON documents against the core R4 definitions of the `fhir` package.
//   node validate.js FILE...   exit status 0 when every file is valid, 1 otherwise (the
//                              problems on standard error), 2 when a file cannot be read
'use strict';
const fs = require('fs');
const { Fhir } = require('fhir');

const fhir = new Fhir();
let status = 0;
for (const file of process.argv.slice(2)) {
    let resource;
    try {
        resource = JSON.parse(fs.readFileSync(file, 'utf8'));
    } catch (error) {
        console.error(`${file}: cannot be read as JSON: ${error.message}`);
        process.exit(2);
    }
    const result = fhir.validate(resource, { errorOnUnexpected: true });
    const problems = result.messages.filter((m) => m.severity !== 'information');
    for (const m of problems)
        console.error(`${file}: ${m.severity}: ${m.location}: ${m.message}`);
    if (!result.valid || problems.some((m) => m.severity === 'error'))
        status = 1;
    else
        console.log(`${file}: valid FHIR R4 ${resource.resourceType}`);
}
process.exit(status);
