#!/usr/bin/env node
// Validates every *.graphql file of a folder against GitHub's published schema
// (@octokit/graphql-schema) with graphql-js's own `validate`. INSTALL is the
// folder `npm ci` installed this folder's package.json into (see
// scripts/github-schema-dir). Prints one line per problem ("FILE: message
// (line:column)") and exits 1 when there is any, 2 when the folder holds no
// document or the packages are missing.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';

const [install, folder] = process.argv.slice(2);
if (!install || !folder) {
  console.error('usage: validate.mjs INSTALL FOLDER');
  process.exit(2);
}
const published = path.join(install, 'node_modules', '@octokit', 'graphql-schema', 'schema.json');
if (!fs.existsSync(published)) {
  console.error(`the published schema is not installed in ${install}: run scripts/install-deps`);
  process.exit(2);
}
// graphql-js as installed there; the introspection result as the schema
// package's own validator reads it.
const require = createRequire(path.join(install, 'package.json'));
const { buildClientSchema, parse, validate } = require('graphql');
const schema = buildClientSchema(JSON.parse(fs.readFileSync(published, 'utf8')));

const files = fs.readdirSync(folder).filter((name) => name.endsWith('.graphql')).sort();
if (files.length === 0) {
  console.error(`no .graphql documents in ${folder}`);
  process.exit(2);
}
let problems = 0;
for (const name of files) {
  const text = fs.readFileSync(path.join(folder, name), 'utf8');
  let errors;
  try {
    errors = validate(schema, parse(text));
  } catch (error) {
    errors = [error];
  }
  for (const error of errors) {
    const where = (error.locations || []).map((l) => `${l.line}:${l.column}`).join(', ');
    console.log(`${name}: ${error.message}${where ? ` (${where})` : ''}`);
    problems += 1;
  }
}
console.log(`${files.length} documents, ${problems} problems`);
process.exit(problems === 0 ? 0 : 1);
